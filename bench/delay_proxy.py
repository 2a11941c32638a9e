#!/usr/bin/env python3
"""A TCP proxy that holds every chunk for a fixed time in each direction.

  delay_proxy.py --target HOST:PORT --delay-ms MS [--refuse-capa] [--port-file FILE]
                 [--count-file FILE]

Listens on 127.0.0.1 at a port the system picks and prints that port (and
writes it to --port-file) once it accepts connections. Each chunk read from one
side is written to the other side MS milliseconds after it arrived, so a round
trip costs 2 * MS plus the server's own time. The delay is per chunk, not per
byte, and since every chunk waits the same time the stream keeps its order.

--refuse-capa answers a CAPA sent as the first command with "-ERR" instead of
the server's list, the way servers without capabilities do: a client then
runs its plain sequential dialogue against the same server.

--count-file keeps the number of connections accepted so far in FILE, for a
server whose own log does not tell how often a client signed in.
"""

import argparse
import asyncio
import os
import socket
import sys

CHUNK = 65536


def no_delay(writer):
    sock = writer.get_extra_info("socket")
    if sock is not None:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)


class DelayedPipe:
    """One direction: reads chunks and writes each one a fixed time later."""

    def __init__(self, reader, writer, delay):
        self.reader = reader
        self.writer = writer
        self.delay = delay
        self.queue = asyncio.Queue()
        self.loop = asyncio.get_running_loop()

    def push(self, data):
        """Hands data to the far side after the delay; None is the end of the stream."""
        self.queue.put_nowait((self.loop.time() + self.delay, data))

    async def read_into(self, filter_chunk=None):
        try:
            while True:
                data = await self.reader.read(CHUNK)
                if not data:
                    break
                if filter_chunk is not None:
                    data = filter_chunk(data)
                if data:
                    self.push(data)
        except (ConnectionError, OSError):
            pass
        self.push(None)

    async def write_out(self):
        try:
            while True:
                deadline, data = await self.queue.get()
                wait = deadline - self.loop.time()
                if wait > 0:
                    await asyncio.sleep(wait)
                if data is None:
                    break
                self.writer.write(data)
                await self.writer.drain()
        except (ConnectionError, OSError):
            pass
        finally:
            self.writer.close()


class CapaRefusal:
    """Finds a CAPA that comes first after the greeting and swaps its reply for -ERR.

    Only the start of the session is looked at; once the client's first command
    is known (and, for CAPA, its reply replaced) both directions pass unchanged.
    """

    def __init__(self):
        self.client_buffer = b""
        self.first_command = None  # None until the client's first line is complete
        self.server_buffer = b""
        self.greeting_seen = False
        self.done_with_server = False

    def from_client(self, data):
        if self.first_command is None:
            self.client_buffer += data
            end = self.client_buffer.find(b"\r\n")
            if end >= 0:
                self.first_command = self.client_buffer[:end].strip().upper()
                self.client_buffer = b""
        return data

    def from_server(self, data):
        """Returns what the client gets now; holds back bytes it cannot judge yet."""
        if self.done_with_server:
            return data
        self.server_buffer += data
        out = b""
        if not self.greeting_seen:
            end = self.server_buffer.find(b"\r\n")
            if end < 0:
                return out
            out += self.server_buffer[: end + 2]
            self.server_buffer = self.server_buffer[end + 2 :]
            self.greeting_seen = True
        if self.first_command is None:
            # Nothing after the greeting can arrive before the client's first
            # command reaches the server, so this only waits for a slow line.
            if self.server_buffer:
                return out + self.finish()
            return out
        if self.first_command != b"CAPA":
            return out + self.finish()
        if not self.server_buffer.startswith(b"+OK"):
            if b"\r\n" in self.server_buffer or len(self.server_buffer) >= 3:
                return out + self.finish()
            return out
        end = self.server_buffer.find(b"\r\n.\r\n")
        if end < 0:
            return out
        self.server_buffer = b"-ERR\r\n" + self.server_buffer[end + 5 :]
        return out + self.finish()

    def finish(self):
        self.done_with_server = True
        rest, self.server_buffer = self.server_buffer, b""
        return rest


def count_connection(count_file):
    count = 0
    if os.path.exists(count_file):
        with open(count_file) as source:
            count = int(source.read() or 0)
    with open(count_file + ".tmp", "w") as out:
        out.write("%d\n" % (count + 1))
    os.replace(count_file + ".tmp", count_file)


async def serve(target_host, target_port, delay, refuse_capa, count_file, client_reader, client_writer):
    if count_file:
        count_connection(count_file)
    try:
        server_reader, server_writer = await asyncio.open_connection(target_host, target_port)
    except OSError:
        client_writer.close()
        return
    no_delay(client_writer)
    no_delay(server_writer)
    upstream = DelayedPipe(client_reader, server_writer, delay)
    downstream = DelayedPipe(server_reader, client_writer, delay)
    refusal = CapaRefusal() if refuse_capa else None
    await asyncio.gather(
        upstream.read_into(refusal.from_client if refusal else None),
        upstream.write_out(),
        downstream.read_into(refusal.from_server if refusal else None),
        downstream.write_out(),
    )


async def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--target", required=True, help="HOST:PORT of the server")
    parser.add_argument("--delay-ms", type=float, default=10.0, help="one-way delay in milliseconds")
    parser.add_argument("--refuse-capa", action="store_true")
    parser.add_argument("--port-file")
    parser.add_argument("--count-file")
    args = parser.parse_args()
    host, _, port = args.target.rpartition(":")
    delay = args.delay_ms / 1000.0

    server = await asyncio.start_server(
        lambda r, w: serve(host, int(port), delay, args.refuse_capa, args.count_file, r, w), "127.0.0.1", 0)
    listen_port = server.sockets[0].getsockname()[1]
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as out:
            out.write("%d\n" % listen_port)
        os.replace(args.port_file + ".tmp", args.port_file)
    print(listen_port, flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
