#!/usr/bin/python3
"""A notification service on the session bus it is started in, as Plasma runs
one: it owns org.freedesktop.Notifications and publishes do-not-disturb as its
Inhibited property. Prints the bus address once the name is owned; then each
line on standard input, "on" or "off", sets Inhibited and emits
PropertiesChanged, and is answered with the same word once sent. The end of
standard input ends it.
"""
import asyncio, os, sys
from dbus_next.aio import MessageBus
from dbus_next.constants import PropertyAccess
from dbus_next.service import ServiceInterface, dbus_property, method


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


async def main():
    bus = await MessageBus().connect()
    service = Notifications()
    bus.export("/org/freedesktop/Notifications", service)
    await bus.request_name("org.freedesktop.Notifications")
    print(os.environ["DBUS_SESSION_BUS_ADDRESS"], flush=True)
    loop = asyncio.get_running_loop()
    while line := (await loop.run_in_executor(None, sys.stdin.readline)).strip():
        service.inhibited = line == "on"
        service.emit_properties_changed({"Inhibited": service.inhibited})
        # A call to the bus itself returns after the signal sent before it.
        await bus.introspect("org.freedesktop.DBus", "/org/freedesktop/DBus")
        print(line, flush=True)


asyncio.run(main())
