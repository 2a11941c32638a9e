#!/usr/bin/python3
"""What the desktop of desktop-session.sh shows of the program, as JSON:
  windows    its main and arrival windows on XWayland, and the work area
  tray       its StatusNotifierItem: pictures, tooltip, menu labels
  activate   a left click on the item, as a tray host sends it
"""
import asyncio, base64, json, re, subprocess, sys
from dbus_next.aio import MessageBus


def run(*command):
    return subprocess.run(command, capture_output=True, text=True).stdout


def windows():
    found = {"area": [int(n) for n in re.findall(r"\d+", run("xprop", "-root", "_NET_WORKAREA"))[:4]]}
    for wid in run("xdotool", "search", "--class", "tandrel").split():
        props, info = run("xprop", "-id", wid), run("xwininfo", "-id", wid)
        kind = "arrival" if "_NET_WM_WINDOW_TYPE_UTILITY" in props else "main" if '"タンドレル"' in props else None
        if kind:
            state = re.search(r"window state: (\w+)", props)
            found[kind] = {"state": state[1] if state else "Withdrawn", "viewable": "IsViewable" in info,
                           "rect": [int(n) for n in re.findall(r"(?:Absolute upper-left [XY]|Width|Height):\s+(-?\d+)", info)]}
    return found


async def tray(command):
    bus = await MessageBus().connect()
    watcher = "org.kde.StatusNotifierWatcher"
    proxy = lambda name, path: bus.introspect(name, path)
    node = bus.get_proxy_object(watcher, "/StatusNotifierWatcher", await proxy(watcher, "/StatusNotifierWatcher"))
    items = await node.get_interface(watcher).get_registered_status_notifier_items()
    if not items:
        return {}
    name, path = items[0], "/StatusNotifierItem"
    item = bus.get_proxy_object(name, path, await proxy(name, path)).get_interface("org.kde.StatusNotifierItem")
    if command == "activate":
        return {"activated": await item.call_activate(0, 0) is None}
    menu_path = await item.get_menu()
    menu = bus.get_proxy_object(name, menu_path, await proxy(name, menu_path))
    _, layout = await menu.get_interface("com.canonical.dbusmenu").call_get_layout(0, -1, [])
    labels = ["-" if "type" in c.value[1] else c.value[1]["label"].value for c in layout[2]]
    pictures = [[w, h, base64.b64encode(data).decode()] for w, h, data in await item.get_icon_pixmap()]
    return {"icon": pictures, "tip": (await item.get_tool_tip())[2], "menu": labels}


if __name__ == "__main__":
    command = sys.argv[1]
    print(json.dumps(windows() if command == "windows" else asyncio.run(tray(command)), ensure_ascii=False))
