#!/usr/bin/python3
"""The login manager and the network manager as a program meets them on the
system bus: org.freedesktop.login1 with PrepareForSleep and delay locks taken
through Inhibit, org.freedesktop.NetworkManager with its State. Prints the bus
address, then answers each line once it is done:
  "login1 on|off", "network on|off"  own or give up the service's name
  "sleep", "wake"                    PrepareForSleep(true|false)
  "state N"                          State becomes N, told by StateChanged
  "locks"                            answered "locks N": delay locks held
with the same line (or the answer). The end of its input ends it."""
import asyncio, os, sys
from dbus_next.aio import MessageBus
from dbus_next.constants import PropertyAccess
from dbus_next.service import ServiceInterface, dbus_property, method, signal

LOGIN, NETWORK = "org.freedesktop.login1", "org.freedesktop.NetworkManager"


class Login(ServiceInterface):
    def __init__(self):
        super().__init__("org.freedesktop.login1.Manager")
        self.locks = 0

    @method()
    def Inhibit(self, what: "s", who: "s", why: "s", mode: "s") -> "h":
        # As the login manager does: the lock is held until every copy of
        # the write end is closed, which the read end sees as its end.
        read, write = os.pipe()
        self.locks += 1
        loop = asyncio.get_running_loop()

        def released():
            if not os.read(read, 1):
                loop.remove_reader(read)
                os.close(read)
                self.locks -= 1

        loop.add_reader(read, released)
        # Our copy goes once the reply carrying it has been sent.
        loop.call_later(0.5, os.close, write)
        return write

    @signal()
    def PrepareForSleep(self, start) -> "b":
        return start


class Network(ServiceInterface):
    def __init__(self):
        super().__init__(NETWORK)
        self.state = 70

    @dbus_property(access=PropertyAccess.READ)
    def State(self) -> "u":
        return self.state

    @signal()
    def StateChanged(self, state) -> "u":
        return state


async def main():
    bus = await MessageBus(negotiate_unix_fd=True).connect()
    login, network = Login(), Network()
    bus.export("/org/freedesktop/login1", login)
    bus.export("/org/freedesktop/NetworkManager", network)
    print(os.environ["DBUS_SESSION_BUS_ADDRESS"], flush=True)
    loop = asyncio.get_running_loop()
    while line := (await loop.run_in_executor(None, sys.stdin.readline)).strip():
        word, _, value = line.partition(" ")
        answer = line
        if word in ("login1", "network"):
            name = LOGIN if word == "login1" else NETWORK
            if value == "on":
                await bus.request_name(name)
            else:
                await bus.release_name(name)
        elif word in ("sleep", "wake"):
            login.PrepareForSleep(word == "sleep")
        elif word == "state":
            network.state = int(value)
            network.StateChanged(network.state)
        elif word == "locks":
            answer = f"locks {login.locks}"
        # A call to the bus returns after the signals sent before it.
        await bus.introspect("org.freedesktop.DBus", "/org/freedesktop/DBus")
        print(answer, flush=True)


asyncio.run(main())
