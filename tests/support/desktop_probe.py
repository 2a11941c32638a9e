#!/usr/bin/env python3
"""What a desktop shows of the program, as one line of JSON, for the tests
that run it under a compositor of their own (desktop-session.sh).

  desktop_probe.py windows     the program's X windows (XWayland) and the work area
  desktop_probe.py tray        the StatusNotifierItem: picture, tooltip, menu
  desktop_probe.py activate    a left click on the item, as a tray host sends it
"""
import asyncio
import base64
import json
import re
import subprocess
import sys

from dbus_next.aio import MessageBus

WATCHER = "org.kde.StatusNotifierWatcher"


def run(*command):
    return subprocess.run(command, capture_output=True, text=True).stdout


def windows():
    area = [int(n) for n in re.findall(r"\d+", run("xprop", "-root", "_NET_WORKAREA"))[:4]]
    found = []
    for wid in run("xdotool", "search", "--class", "tandrel").split():
        props = run("xprop", "-id", wid, "WM_NAME", "_NET_WM_WINDOW_TYPE", "WM_STATE")
        if "_NET_WM_WINDOW_TYPE" not in props or "not found" in props.split("\n")[1]:
            continue  # Qt's own helper windows are never shown
        info = run("xwininfo", "-id", wid)
        field = lambda name: int(re.search(name + r":\s+(-?\d+)", info).group(1))
        state = re.search(r"window state: (\w+)", props)
        found.append({
            "name": (re.search(r'WM_NAME\(\w+\) = "(.*)"', props) or [None, ""])[1],
            "utility": "_NET_WM_WINDOW_TYPE_UTILITY" in props,
            "state": state.group(1) if state else "Withdrawn",
            "viewable": "IsViewable" in info,
            "rect": [field("Absolute upper-left X"), field("Absolute upper-left Y"),
                     field("Width"), field("Height")],
        })
    return {"workarea": area, "windows": found}


def menu_labels(layout):
    labels = []
    for child in layout[2]:
        props = child.value[1]
        if "type" in props and props["type"].value == "separator":
            labels.append("-")
        else:
            labels.append(props["label"].value if "label" in props else "")
    return labels


async def item(bus):
    watcher = bus.get_proxy_object(WATCHER, "/StatusNotifierWatcher",
                                   await bus.introspect(WATCHER, "/StatusNotifierWatcher"))
    entries = await watcher.get_interface(WATCHER).get_registered_status_notifier_items()
    if not entries:
        return None
    service, _, path = entries[0].partition("/")
    path = "/" + path if path else "/StatusNotifierItem"
    return service, path


async def tray(command):
    bus = await MessageBus().connect()
    found = await item(bus)
    if not found:
        return {"items": 0}
    service, path = found
    proxy = bus.get_proxy_object(service, path, await bus.introspect(service, path))
    sni = proxy.get_interface("org.kde.StatusNotifierItem")
    if command == "activate":
        await sni.call_activate(0, 0)
        return {"items": 1}
    _, _, tip_title, tip_text = await sni.get_tool_tip()
    menu_path = await sni.get_menu()
    labels = []
    if menu_path.startswith("/") and menu_path != "/NO_DBUSMENU":
        menu = bus.get_proxy_object(service, menu_path, await bus.introspect(service, menu_path))
        _, layout = await menu.get_interface("com.canonical.dbusmenu").call_get_layout(0, -1, [])
        labels = menu_labels(layout)
    return {
        "items": 1,
        "icon": [[w, h, base64.b64encode(data).decode()] for w, h, data in await sni.get_icon_pixmap()],
        "tip": [tip_title, tip_text],
        "menu": labels,
    }


if __name__ == "__main__":
    command = sys.argv[1]
    result = windows() if command == "windows" else asyncio.run(tray(command))
    print(json.dumps(result, ensure_ascii=False))
