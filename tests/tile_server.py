#!/usr/bin/env python3
"""A tile server on 127.0.0.1 for the tests: serves the files of a folder, logs every request,
and answers chosen paths badly on purpose.

    tile_server.py FOLDER LOG [RULE ...]

Each RULE is PATH=ANSWER, PATH as requested (/5/17/11.png) and ANSWER one of
  404, 204, 403   that status with no tile
  500:N           500 for the first N requests of the path, then the file (N=-1: for ever)
  slow:SECONDS    the file after SECONDS
  html:N          a "blocked" page with status 200 for the first N requests (N=-1: for ever)

/wmtsN.xml, unless the folder holds one, is a WMTS GetCapabilities answer: one layer on Web
Mercator's tile grid at zoom levels 0 to N, its tiles at /{z}/{x}/{y}.png of this server.

KARTIVO_TILE_SERVER_DELAY (seconds, default 0.02) holds each answer back that long, so that
requests answered at once overlap visibly; a benchmark sets it to 0.

The port, chosen by the system, is printed on the first line of standard output. Every request
appends one JSON line to LOG: its path, its User-Agent and how many requests were being answered
at once, itself included, and when it came (seconds on a steady clock).
"""

import http.server
import json
import os
import re
import sys
import threading
import time

folder, log_path = sys.argv[1], sys.argv[2]
rules = dict(rule.split("=", 1) for rule in sys.argv[3:])
lock = threading.Lock()
state = {"inFlight": 0, "served": {}}
delay = float(os.environ.get("KARTIVO_TILE_SERVER_DELAY", "0.02"))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in two writes; with Nagle's algorithm the body would wait for the
    # client's delayed acknowledgement, 40 ms a tile.
    disable_nagle_algorithm = True

    def log_message(self, *args):
        pass

    def answer(self, status, body=b"", kind="image/png"):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path
        with lock:
            state["inFlight"] += 1
            times = state["served"].get(path, 0)
            state["served"][path] = times + 1
            with open(log_path, "a") as log:
                log.write(json.dumps({"path": path, "userAgent": self.headers.get("User-Agent", ""),
                                      "inFlight": state["inFlight"], "time": time.monotonic()}) + "\n")
        try:
            time.sleep(delay)
            rule = rules.get(path, "")
            if rule in ("404", "204", "403"):
                return self.answer(int(rule))
            kind, _, count = rule.partition(":")
            failing = kind in ("500", "html") and (int(count) < 0 or times < int(count))
            if failing and kind == "500":
                return self.answer(500, b"server trouble", "text/plain")
            if failing:
                return self.answer(200, b"<html><body>Blocked: too many requests</body></html>", "text/html")
            if rule.startswith("slow:"):
                time.sleep(float(rule[5:]))
            file = os.path.join(folder, path.lstrip("/"))
            wmts = re.fullmatch(r"/wmts(\d+)\.xml", path)
            if wmts and not os.path.isfile(file):
                return self.answer(200, capabilities(int(wmts[1])).encode(), "application/xml")
            if not os.path.isfile(file):
                return self.answer(404)
            with open(file, "rb") as tile:
                self.answer(200, tile.read())
        except (BrokenPipeError, ConnectionResetError):
            pass
        finally:
            with lock:
                state["inFlight"] -= 1


def capabilities(finest):
    half = 20037508.342789244
    matrices = "".join(
        f"<TileMatrix><ows:Identifier>{z}</ows:Identifier><ScaleDenominator>{559082264.0287178 / 2 ** z!r}"
        f"</ScaleDenominator><TopLeftCorner>{-half!r} {half!r}</TopLeftCorner><TileWidth>256</TileWidth>"
        f"<TileHeight>256</TileHeight><MatrixWidth>{2 ** z}</MatrixWidth><MatrixHeight>{2 ** z}</MatrixHeight>"
        "</TileMatrix>" for z in range(finest + 1))
    template = f"http://127.0.0.1:{server.server_address[1]}/{{TileMatrix}}/{{TileCol}}/{{TileRow}}.png"
    return ('<Capabilities xmlns="http://www.opengis.net/wmts/1.0" xmlns:ows="http://www.opengis.net/ows/1.1" '
            'version="1.0.0"><Contents><Layer><ows:Identifier>tiles</ows:Identifier><Style isDefault="true">'
            "<ows:Identifier>default</ows:Identifier></Style><Format>image/png</Format><TileMatrixSetLink>"
            f'<TileMatrixSet>grid</TileMatrixSet></TileMatrixSetLink><ResourceURL format="image/png" '
            f'resourceType="tile" template="{template}"/></Layer><TileMatrixSet><ows:Identifier>grid'
            "</ows:Identifier><ows:SupportedCRS>urn:ogc:def:crs:EPSG::3857</ows:SupportedCRS>"
            f"{matrices}</TileMatrixSet></Contents></Capabilities>")


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
