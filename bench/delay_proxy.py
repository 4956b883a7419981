#!/usr/bin/python3
"""An FTP-aware delay proxy for benchmarks, on loopback only.

Every byte is held back for half the round-trip time in each direction, on
the control connection and on data connections alike: passive-mode replies
(227 and 229) are rewritten so that data connections also go through the
proxy. It counts, per run, the client's turns on control connections (each
one waits for the server) and the data connections opened, and writes them
as JSON to the stats file whenever a control connection closes.

    delay_proxy.py --upstream-port 2121 --rtt-ms 20 --stats stats.json
Prints "PORT <n>" once it listens; ends when its standard input closes.

Over TLS the replies cannot be read: with --data-ports LO-HI the proxy
forwards bytes as they come and relays every port of that range on
127.0.0.1 to the same port of --upstream-host, a server that listens
there and names 127.0.0.1 in its passive replies. With --raw (SSH) bytes
are forwarded as they come and no data connection is relayed.
"""
import argparse
import asyncio
import json
import re
import sys

PASV = re.compile(rb"^227 .*?\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\)")
EPSV = re.compile(rb"^229 .*?\(\|\|\|(\d+)\|\)")


class Stats:
    def __init__(self, path):
        self.path = path
        self.turns = 0
        self.data_connections = 0
        self.control_connections = 0

    def save(self):
        if self.path:
            with open(self.path, "w") as f:
                json.dump({"turns": self.turns, "data_connections": self.data_connections,
                           "control_connections": self.control_connections}, f)


async def delayed_pipe(reader, writer, delay, on_chunk=None):
    """Copies reader to writer, each chunk delivered `delay` seconds after it came."""
    queue = asyncio.Queue()
    loop = asyncio.get_running_loop()

    async def deliver():
        while True:
            due, chunk = await queue.get()
            if chunk is None:
                break
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(chunk)
            await writer.drain()
        try:
            writer.close()
        except Exception:
            pass

    task = asyncio.create_task(deliver())
    try:
        while True:
            chunk = await reader.read(65536)
            if not chunk:
                break
            if on_chunk:
                chunk = await on_chunk(chunk)
            queue.put_nowait((loop.time() + delay, chunk))
    except (ConnectionError, OSError):
        pass
    queue.put_nowait((0, None))
    await task


async def relay_data(upstream_host, upstream_port, delay, stats):
    """A one-shot listener that relays one data connection; returns its port."""
    ready = asyncio.get_running_loop().create_future()

    async def on_client(creader, cwriter):
        server.close()
        stats.data_connections += 1
        try:
            ureader, uwriter = await asyncio.open_connection(upstream_host, upstream_port)
        except OSError:
            cwriter.close()
            return
        await asyncio.gather(delayed_pipe(creader, uwriter, delay), delayed_pipe(ureader, cwriter, delay))

    server = await asyncio.start_server(on_client, "127.0.0.1", 0)
    return server.sockets[0].getsockname()[1]


async def relay_fixed_ports(args, stats):
    """Relays each data port of the range to the upstream host's same port."""
    delay = args.rtt_ms / 2000.0
    low, high = (int(x) for x in args.data_ports.split("-"))
    for port in range(low, high + 1):
        async def on_client(creader, cwriter, port=port):
            stats.data_connections += 1
            try:
                ureader, uwriter = await asyncio.open_connection(args.upstream_host, port)
            except OSError:
                cwriter.close()
                return
            await asyncio.gather(delayed_pipe(creader, uwriter, delay), delayed_pipe(ureader, cwriter, delay))
        await asyncio.start_server(on_client, "127.0.0.1", port)


async def handle_control(creader, cwriter, args, stats):
    delay = args.rtt_ms / 2000.0
    stats.control_connections += 1
    try:
        ureader, uwriter = await asyncio.open_connection(args.upstream_host, args.upstream_port)
    except OSError:
        cwriter.close()
        return
    state = {"server_spoke": True, "pending": b""}

    async def from_client(chunk):
        if state["server_spoke"]:
            stats.turns += 1
            state["server_spoke"] = False
        return chunk

    async def from_server(chunk):
        state["server_spoke"] = True
        if args.data_ports or args.raw:
            return chunk  # encrypted, or not FTP: passed on as it is
        data = state["pending"] + chunk
        lines = data.split(b"\r\n")
        state["pending"] = lines.pop()
        out = []
        for line in lines:
            m = PASV.match(line)
            if m:
                host = ".".join(x.decode() for x in m.groups()[:4])
                port = int(m.group(5)) * 256 + int(m.group(6))
                local = await relay_data(host, port, delay, stats)
                line = b"227 Entering Passive Mode (127,0,0,1,%d,%d)." % (local // 256, local % 256)
            m = EPSV.match(line)
            if m:
                local = await relay_data("127.0.0.1", int(m.group(1)), delay, stats)
                line = b"229 Entering Extended Passive Mode (|||%d|)" % local
            out.append(line + b"\r\n")
        return b"".join(out)

    await asyncio.gather(delayed_pipe(creader, uwriter, delay, from_client),
                         delayed_pipe(ureader, cwriter, delay, from_server))
    stats.save()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--upstream-port", type=int, required=True)
    parser.add_argument("--rtt-ms", type=float, default=20)
    parser.add_argument("--stats", default="")
    parser.add_argument("--upstream-host", default="127.0.0.1")
    parser.add_argument("--data-ports", default="", help="LO-HI: relay these ports as they are (TLS)")
    parser.add_argument("--raw", action="store_true", help="not FTP: bytes passed on as they come")
    args = parser.parse_args()
    stats = Stats(args.stats)
    if args.data_ports:
        await relay_fixed_ports(args, stats)
    server = await asyncio.start_server(lambda r, w: handle_control(r, w, args, stats), "127.0.0.1", 0)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    loop = asyncio.get_running_loop()
    stdin_closed = loop.run_in_executor(None, sys.stdin.read)
    await stdin_closed
    server.close()
    stats.save()


if __name__ == "__main__":
    asyncio.run(main())
