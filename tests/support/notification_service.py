#!/usr/bin/python3
"""Do-not-disturb on the session bus it is started in, as each desktop
publishes it: a notification service that owns org.freedesktop.Notifications
with its Inhibited property (Plasma), Xfce's settings service org.xfce.Xfconf
with the channel xfce4-notifyd, and GNOME's show-banners key through dconf.
Prints the bus address once the names are owned; then each line on standard
input, "<desktop> on" or "<desktop> off" (plasma, xfce, gnome), changes that
desktop's setting and is answered with the same line once the change is out.
The end of standard input ends it.
"""
import asyncio, logging, os, subprocess, sys
from dbus_next import DBusError, Variant
from dbus_next.aio import MessageBus
from dbus_next.constants import PropertyAccess
from dbus_next.service import ServiceInterface, dbus_property, method, signal


class Notifications(ServiceInterface):
    def __init__(self):
        super().__init__("org.freedesktop.Notifications")
        self.inhibited = False

    @dbus_property(access=PropertyAccess.READ)
    def Inhibited(self) -> "b":
        return self.inhibited

    @method()
    def GetCapabilities(self) -> "as":
        return ["body"]


class Xfconf(ServiceInterface):
    def __init__(self):
        super().__init__("org.xfce.Xfconf")
        self.values = {}

    @method()
    def GetProperty(self, channel: "s", name: "s") -> "v":
        if (channel, name) not in self.values:
            raise DBusError("org.xfce.Xfconf.Error.PropertyNotFound", f"{name} not in {channel}")
        return self.values[(channel, name)]

    @signal()
    def PropertyChanged(self, channel, name, value) -> "ssv":
        return [channel, name, value]


async def main():
    # A property not set is an error answer, as xfconfd gives it, not a fault to log.
    logging.disable(logging.ERROR)
    bus = await MessageBus().connect()
    notifications, xfconf = Notifications(), Xfconf()
    bus.export("/org/freedesktop/Notifications", notifications)
    bus.export("/org/xfce/Xfconf", xfconf)
    await bus.request_name("org.freedesktop.Notifications")
    await bus.request_name("org.xfce.Xfconf")
    print(os.environ["DBUS_SESSION_BUS_ADDRESS"], flush=True)
    loop = asyncio.get_running_loop()
    while line := (await loop.run_in_executor(None, sys.stdin.readline)).strip():
        desktop, word = line.split()
        on = word == "on"
        if desktop == "plasma":
            notifications.inhibited = on
            notifications.emit_properties_changed({"Inhibited": on})
        elif desktop == "xfce":
            value = Variant("b", on)
            xfconf.values[("xfce4-notifyd", "/do-not-disturb")] = value
            xfconf.PropertyChanged("xfce4-notifyd", "/do-not-disturb", value)
        else:
            # Returns once dconf has taken the write.
            await loop.run_in_executor(None, lambda: subprocess.run(
                ["gsettings", "set", "org.gnome.desktop.notifications", "show-banners",
                 "false" if on else "true"], check=True))
        # A call to the bus itself returns after the signals sent before it.
        await bus.introspect("org.freedesktop.DBus", "/org/freedesktop/DBus")
        print(line, flush=True)


asyncio.run(main())
