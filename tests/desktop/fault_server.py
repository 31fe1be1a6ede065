#!/usr/bin/env python3
"""A chapter server that misbehaves on purpose, for the desktop tests.

Serves on 127.0.0.1 (the port given, or a free one) and prints the port on
its first line. Each path is one kind of fault or hostile page."""
import socketserver
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def page(title, body="", script="", background="#ffffff"):
    return (f"<!DOCTYPE html><html><head><meta charset='utf-8'><title>{title}</title></head>"
            f"<body style='margin:0;background:{background}'>{body}<script>{script}</script></body></html>")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, status, body, content_type="text/html; charset=utf-8", headers=()):
        data = body.encode() if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        path = self.path.split("?")[0]
        if path.startswith("/page/"):
            name = path[len("/page/"):]
            colour = {"green": "#00ff00", "red": "#ff0000"}.get(name, "#ffffff")
            self.send(200, page(name, f"<p>{name}</p>", background=colour))
        elif path == "/hang":
            time.sleep(3600)
        elif path == "/slow":
            time.sleep(2)
            self.send(200, page("slow"))
        elif path.startswith("/attachment/"):
            name = path.rsplit("/", 1)[1]
            self.send(200, page("attachment"), headers=[("Content-Disposition", f"attachment; filename={name}")])
        elif path == "/unknown":
            self.send(200, b"\x00\x01velmora", content_type="application/x-velmora-unknown")
        elif path == "/loop":
            self.send(302, "", headers=[("Location", "/loop")])
        elif path == "/error500":
            self.send(500, page("server error", "<p>Internal Server Error</p>"))
        elif path == "/reset":
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5000\r\n\r\n<html>")
            self.wfile.flush()
            self.close_connection = True
        elif path == "/print":
            self.send(200, page("before", script="window.print(); document.title = 'after print';"))
        elif path == "/spin":
            self.send(200, page("spinning", script="setTimeout(function(){ for(;;){} }, 50);"))
        elif path == "/links":
            port = self.server.server_address[1]
            body = (f"<a id='out' href='http://other.invalid:{port}/page/out' "
                    "style='display:block;height:60px;background:#0000ff'>out</a>"
                    "<a id='in' href='/page/inside' style='display:block;height:60px;background:#00ff00'>in</a>")
            self.send(200, page("links", body))
        else:
            self.send(404, page("not found"))


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    port = int(sys.argv[1]) if len(sys.argv) > 1 else 0
    server = Server(("127.0.0.1", port), Handler)
    print(server.server_address[1], flush=True)
    # Ends with the test: its stdin closes.
    import threading
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()


if __name__ == "__main__":
    main()
