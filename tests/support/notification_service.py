#!/usr/bin/python3
"""Do-not-disturb as desktops publish it, on the session bus it runs in: the
notification service's Inhibited property (Plasma), the xfconf channel
xfce4-notifyd (Xfce) and the show-banners key through dconf (GNOME). Prints
the bus address, then answers each line "plasma|xfce|gnome on|off" with the
same line once the change is out. The end of its input ends it."""
import asyncio, logging, os, subprocess, sys
from dbus_next import DBusError, Variant
from dbus_next.aio import MessageBus
from dbus_next.constants import PropertyAccess
from dbus_next.service import ServiceInterface, dbus_property, method, signal


class Notifications(ServiceInterface):
    inhibited = False

    @dbus_property(access=PropertyAccess.READ)
    def Inhibited(self) -> "b":
        return self.inhibited


class Xfconf(ServiceInterface):
    values = {}

    @method()
    def GetProperty(self, channel: "s", name: "s") -> "v":
        if (channel, name) not in self.values:
            raise DBusError("org.xfce.Xfconf.Error.PropertyNotFound", name)
        return self.values[(channel, name)]

    @signal()
    def PropertyChanged(self, channel, name, value) -> "ssv":
        return [channel, name, value]


async def main():
    # A property not set is an answer, as xfconfd gives it, not a fault to log.
    logging.disable(logging.ERROR)
    bus = await MessageBus().connect()
    notifications, xfconf = Notifications("org.freedesktop.Notifications"), Xfconf("org.xfce.Xfconf")
    bus.export("/org/freedesktop/Notifications", notifications)
    bus.export("/org/xfce/Xfconf", xfconf)
    await bus.request_name("org.freedesktop.Notifications")
    await bus.request_name("org.xfce.Xfconf")
    print(os.environ["DBUS_SESSION_BUS_ADDRESS"], flush=True)
    loop = asyncio.get_running_loop()
    while line := (await loop.run_in_executor(None, sys.stdin.readline)).strip():
        desktop, on = line.split()[0], line.endswith(" on")
        if desktop == "plasma":
            notifications.inhibited = on
            notifications.emit_properties_changed({"Inhibited": on})
        elif desktop == "xfce":
            xfconf.values[("xfce4-notifyd", "/do-not-disturb")] = Variant("b", on)
            xfconf.PropertyChanged("xfce4-notifyd", "/do-not-disturb", Variant("b", on))
        else:  # returns once dconf has written it
            await loop.run_in_executor(None, lambda: subprocess.run(["gsettings", "set",
                "org.gnome.desktop.notifications", "show-banners", "false" if on else "true"], check=True))
        # A call to the bus returns after the signals sent before it.
        await bus.introspect("org.freedesktop.DBus", "/org/freedesktop/DBus")
        print(line, flush=True)


asyncio.run(main())
