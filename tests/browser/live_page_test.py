"""The live page in a real browser.

Runs the real program headless with its web server on a loopback port behind
Basic authentication, opens "/" in headless Chromium driven over the DevTools
protocol, answers the browser's one request for credentials, and reads the
page's DOM: the figures follow the traffic this test pushes over loopback,
the graph has points, the history holds today's row, and the page fits a
phone's width. Screenshots (desktop and phone width) go to --shots.

Meant to run in a private network namespace (in_private_network.sh), where
loopback carries only this test's bytes. Exit status 77 (skipped) when
Chromium is not installed.

    live_page_test.py --program PATH --shots FOLDER
"""

import argparse
import base64
import datetime
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

USER = "viewer"
PASSWORD = "p\u00e4ss word"  # not ASCII, as a browser sends it: UTF-8
REALM = "Flowloom Web Service"
PUSHED = 6 * 1024 * 1024
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAILED: " + message, file=sys.stderr)
    return condition


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def scrambled(text):
    # The settings file keeps the password with each byte as 255 minus itself.
    return bytes(255 - b for b in text.encode("utf-8"))


def http_get(port, path, credentials=True):
    request = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path))
    if credentials:
        token = base64.b64encode(("%s:%s" % (USER, PASSWORD)).encode("utf-8")).decode()
        request.add_header("Authorization", "Basic " + token)
    try:
        with urllib.request.urlopen(request, timeout=5) as reply:
            return reply.status, dict(reply.headers), reply.read()
    except urllib.error.HTTPError as error:
        return error.code, dict(error.headers), error.read()


def push_through_loopback(count):
    """Sends `count` bytes from one loopback socket to another, in about two
    seconds, so that the transfer spans ticks."""
    with socket.socket() as server:
        server.bind(("127.0.0.1", 0))
        server.listen(1)
        received = [0]

        def drain():
            connection, _ = server.accept()
            with connection:
                while True:
                    data = connection.recv(65536)
                    if not data:
                        break
                    received[0] += len(data)

        reader = threading.Thread(target=drain)
        reader.start()
        with socket.create_connection(server.getsockname()) as client:
            chunk = b"x" * (count // 8)
            for _ in range(8):
                client.sendall(chunk)
                time.sleep(0.25)
        reader.join(10)
        return received[0]


def bytes_of(text):
    """A size as the page shows it ("12.3 MB") in bytes."""
    number, unit = text.split()
    units = ["B", "KB", "MB", "GB", "TB", "PB"]
    return float(number) * 1024 ** units.index(unit)


class DevTools:
    """One page target of Chromium over the DevTools protocol. Requests pause
    in the Fetch domain; the first request for credentials gets the user name
    and password, and every request for them is counted."""

    def __init__(self, websocket_module, url):
        self.ws = websocket_module.create_connection(url, timeout=10, suppress_origin=True)
        self.timeout_error = websocket_module.WebSocketTimeoutException
        self.next_id = 0
        self.auth_requests = []
        self.exceptions = []  # uncaught in the page's script

    def _handle(self, message):
        method = message.get("method")
        params = message.get("params", {})
        if method == "Runtime.exceptionThrown":
            details = params.get("exceptionDetails", {})
            self.exceptions.append(details.get("exception", {}).get("description")
                                   or details.get("text"))
        elif method == "Fetch.requestPaused":
            self._send("Fetch.continueRequest", {"requestId": params["requestId"]})
        elif method == "Fetch.authRequired":
            self.auth_requests.append(params["request"]["url"])
            self._send("Fetch.continueWithAuth", {
                "requestId": params["requestId"],
                "authChallengeResponse": {"response": "ProvideCredentials",
                                          "username": USER, "password": PASSWORD}})

    def _send(self, method, params=None):
        self.next_id += 1
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params or {}}))
        return self.next_id

    def call(self, method, params=None, timeout=15):
        wanted = self._send(method, params)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.ws.settimeout(max(0.05, deadline - time.monotonic()))
            try:
                message = json.loads(self.ws.recv())
            except self.timeout_error:
                break
            if message.get("id") == wanted:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message.get("result", {})
            self._handle(message)
        raise RuntimeError(method + ": no answer")

    def pump(self, seconds):
        """Serves the browser's paused requests for a while."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self.ws.settimeout(max(0.05, deadline - time.monotonic()))
            try:
                self._handle(json.loads(self.ws.recv()))
            except self.timeout_error:
                pass

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        return result.get("result", {}).get("value")

    def wait_for(self, expression, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            self.pump(0.2)
        return None

    def screenshot(self, path, width):
        self.call("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": 800, "deviceScaleFactor": 1, "mobile": width < 600})
        self.pump(0.5)
        height = self.evaluate("document.documentElement.scrollHeight")
        self.call("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 600})
        self.pump(0.5)
        shot = self.call("Page.captureScreenshot", {"format": "png"})
        with open(path, "wb") as out:
            out.write(base64.b64decode(shot["data"]))


READ_FIGURES = """JSON.stringify({
  iface: document.getElementById('interface').textContent,
  rxSession: document.getElementById('rx-session').textContent,
  txSession: document.getElementById('tx-session').textContent,
  rxCurrent: document.getElementById('rx-current').textContent,
  points: Number(document.getElementById('chart').getAttribute('data-points') || 0),
  downloadLine: (document.querySelector('#chart polyline.download') || {getAttribute: () => ''})
                  .getAttribute('points'),
  uploadLine: (document.querySelector('#chart polyline.upload') || {getAttribute: () => ''})
                  .getAttribute('points'),
  mode: document.getElementById('mode').textContent
})"""


def start_browser(chromium, profile):
    browser = subprocess.Popen(
        [chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
         "--disable-extensions", "--disable-background-networking", "--hide-scrollbars",
         "--remote-debugging-port=0", "--user-data-dir=" + profile,
         "--window-size=1100,900", "about:blank"],
        stdout=subprocess.DEVNULL, stderr=open(os.path.join(profile, "..", "chromium.log"), "w"))
    active = os.path.join(profile, "DevToolsActivePort")
    for _ in range(200):
        if os.path.exists(active) and open(active).read().count("\n") >= 1:
            break
        time.sleep(0.05)
    port = int(open(active).read().split("\n")[0])
    with urllib.request.urlopen("http://127.0.0.1:%d/json/list" % port, timeout=5) as reply:
        targets = json.loads(reply.read())
    page = next(t for t in targets if t.get("type") == "page")
    return browser, page["webSocketDebuggerUrl"]


def end(process):
    """Ends a process this test started, by its id: asked first, then killed."""
    if process.poll() is not None:
        return
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(5)


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument("--program", required=True)
    arguments.add_argument("--shots", required=True)
    options = arguments.parse_args()

    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if chromium is None:
        print("chromium is not installed (Debian package chromium): skipped")
        return 77
    import websocket  # python3-websocket, installed with chromium by make deps

    links = open("/proc/net/dev").read().split("\n")[2:]
    if [line.split(":")[0].strip() for line in links if line.strip()] != ["lo"]:
        print("needs a private network namespace with loopback alone: skipped")
        return 77

    os.makedirs(options.shots, exist_ok=True)
    work = tempfile.mkdtemp(prefix="flowloom-browser-")
    program = browser = None
    try:
        # The program, portable: its settings beside it, its home private.
        shutil.copy(options.program, os.path.join(work, "flowloom"))
        home = os.path.join(work, "home")
        os.makedirs(home)
        port = free_port()
        with open(os.path.join(work, "flowloom.ini"), "wb") as ini:
            ini.write(b"[Plotter]\r\nFirst=0\r\nURL=0\r\nRun=1\r\nWeb=1\r\nServerIP=0\r\n"
                      b"Port=%d\r\nAuth=1\r\nUser=%s\r\nPass=%s\r\nDataCap=1\r\nCapSize=1\r\n"
                      b"Plot=$000080FF\r\nPlotUp=$00FF8000\r\n"
                      % (port, USER.encode(), scrambled(PASSWORD)))
        environment = dict(os.environ, HOME=home)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME"):
            environment.pop(name, None)
        program = subprocess.Popen([os.path.join(work, "flowloom"), "--headless"], cwd=work,
                                   env=environment, stdout=subprocess.DEVNULL,
                                   stderr=open(os.path.join(work, "program.log"), "w"))
        for _ in range(200):
            try:
                if http_get(port, "/api/v1/summary.json")[0] == 200:
                    break
            except OSError:
                pass
            time.sleep(0.05)

        # Without credentials: the challenge, for the page and its data alike.
        for path in ("/", "/api/v1/summary.json", "/api/v1/history.json?interface=lo"):
            status, headers, _ = http_get(port, path, credentials=False)
            check(status == 401, "%s without credentials answers %d, not 401" % (path, status))
            check(headers.get("WWW-Authenticate") == 'Basic realm="%s"' % REALM,
                  "%s challenges with %r" % (path, headers.get("WWW-Authenticate")))
        status, headers, body = http_get(port, "/")
        check(status == 200 and headers.get("Content-Type", "").startswith("text/html"),
              "the page answers %d %s" % (status, headers.get("Content-Type")))
        check(b"<script src" not in body and b"<link" not in body and b"@import" not in body,
              "the page loads nothing from elsewhere")
        check(len(body) < 64 * 1024, "the page is %d bytes" % len(body))
        check(b'"download":"#ff8000"' in body and b'"upload":"#0080ff"' in body,
              "the page carries the graph colours of the settings ($BBGGRR)")

        # The browser: asked for credentials once, then the page runs by itself.
        profile = os.path.join(work, "profile")
        os.makedirs(profile)
        browser, target = start_browser(chromium, profile)
        page = DevTools(websocket, target)
        page.call("Fetch.enable", {"handleAuthRequests": True, "patterns": [{"urlPattern": "*"}]})
        page.call("Page.enable")
        page.call("Runtime.enable")
        page.call("Page.navigate", {"url": "http://127.0.0.1:%d/" % port})
        ready = page.wait_for("document.getElementById('interface').textContent === 'lo' && "
                              "document.getElementById('rx-session').textContent !== '\u2013'", 15)
        if not check(ready, "the page shows the figures of lo"):
            raise SystemExit(1)

        before = json.loads(page.evaluate(READ_FIGURES))
        # Pushed beside the browser, whose paused requests this thread serves.
        pushed = []
        pusher = threading.Thread(target=lambda: pushed.append(push_through_loopback(PUSHED)))
        pusher.start()
        while pusher.is_alive():
            page.pump(0.1)
        check(pushed == [PUSHED], "pushed %s of %d bytes" % (pushed, PUSHED))
        page.pump(2.5)  # two more ticks reach the page
        after = json.loads(page.evaluate(READ_FIGURES))
        print("before: %s\nafter:  %s" % (before, after))
        check(after["rxSession"] != before["rxSession"], "the session total changed")
        grown = bytes_of(after["rxSession"]) - bytes_of(before["rxSession"])
        # Shown with three figures: within 1 %.
        check(grown >= 0.99 * PUSHED,
              "the session total grew by %d bytes, at least the %d pushed" % (grown, PUSHED))
        check(after["points"] >= 3 and after["points"] > before["points"],
              "the graph gains points: %d, then %d" % (before["points"], after["points"]))
        check(len(after["downloadLine"].split()) == after["points"] and
              len(after["uploadLine"].split()) == after["points"],
              "both lines have a vertex per point")
        check(after["mode"] in ("live", "updating every second"), "mode: " + after["mode"])

        today = datetime.date.today().isoformat()
        row = page.wait_for("(function(){var r=document.querySelector("
                            "'#history-days tr[data-date=\"%s\"]');"
                            "return r && r.textContent;})()" % today, 8)
        check(row, "the history table holds today's row (%s)" % today)
        # The page asks for the history again every ten seconds: the row then
        # holds the pushed bytes (its download cell, as the page shows a size).
        download = "(function(){var r=document.querySelector('#history-days tr[data-date=\"%s\"]');" \
                   "return r ? r.cells[1].textContent : '0 B';})()" % today
        deadline = time.monotonic() + 12
        while time.monotonic() < deadline and bytes_of(page.evaluate(download)) < 0.99 * PUSHED:
            page.pump(0.5)
        check(bytes_of(page.evaluate(download)) >= 0.99 * PUSHED,
              "today's row shows the pushed bytes: %s" % page.evaluate(download))
        month = page.evaluate("!!document.querySelector('#history-months tr[data-date=\"%s\"]')"
                              % today[:7])
        check(month, "the months table holds this month")
        months_shown = page.evaluate("document.getElementById('show-months').click(), "
                                     "!document.getElementById('history-months').hidden && "
                                     "document.getElementById('history-days').hidden")
        check(months_shown, "the Months button shows the months instead of the days")
        page.evaluate("document.getElementById('show-days').click()")
        cap = page.evaluate("document.getElementById('cap').hidden === false && "
                            "document.getElementById('cap-used').style.width")
        check(cap, "the cap bar is drawn")
        links = page.evaluate("Array.from(document.querySelectorAll('#documents a'))"
                              ".map(a => a.pathname)")
        for path in ("/flowloom.jpg", "/formatted.txt", "/api/v1/summary.json"):
            check(path in (links or []), "a link to %s among %s" % (path, links))
        check(not page.exceptions, "the page's script ran without errors: %s" % page.exceptions)
        check(len(page.auth_requests) == 1,
              "the browser asked for credentials once: %s" % page.auth_requests)

        page.screenshot(os.path.join(options.shots, "live-page.png"), 1100)
        page.screenshot(os.path.join(options.shots, "live-page-phone.png"), 400)
        overflow = page.evaluate("document.documentElement.scrollWidth")
        check(overflow <= 400, "at 400 pixels the page is %s wide" % overflow)
        page.ws.close()
    finally:
        if browser is not None:
            end(browser)
        if program is not None:
            end(program)
            check(program.returncode == 0, "the program ended with %s" % program.returncode)
        shutil.rmtree(work, ignore_errors=True)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
