"""Serves the browser build and runs it in headless Chromium: the page gets its options from its
address and posts its pictures and results back here."""

import http.server
import importlib.machinery
import importlib.util
import json
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import urllib.parse


def serve_web():
    """scripts/serve-web as a module: the page's server and what it sends with the page."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts',
                        'serve-web')
    loader = importlib.machinery.SourceFileLoader('serve_web', path)
    spec = importlib.util.spec_from_loader('serve_web', loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


class Server:
    """Serves `root` (the built page) and /test/ from `data`; keeps what pages post under
    /report/<run>/ in `out`."""

    def __init__(self, root, data, out):
        self.root, self.data, self.out = root, data, out
        self.results = {}
        self.cond = threading.Condition()
        server = self

        class Handler(http.server.SimpleHTTPRequestHandler):
            def __init__(self, *a, **kw):
                super().__init__(*a, directory=server.root, **kw)

            def log_message(self, *args):
                pass

            def translate_path(self, path):
                p = urllib.parse.urlparse(path).path
                if p.startswith('/test/'):
                    return os.path.join(server.data, urllib.parse.unquote(p[len('/test/'):]))
                return super().translate_path(path)

            def end_headers(self):
                self.send_header('Cache-Control', 'no-store')
                super().end_headers()

            def do_POST(self):
                url = urllib.parse.urlparse(self.path)
                parts = url.path.strip('/').split('/')
                body = self.rfile.read(int(self.headers.get('Content-Length', 0)))
                if len(parts) >= 3 and parts[0] == 'report':
                    run = parts[1]
                    folder = os.path.join(server.out, run)
                    os.makedirs(folder, exist_ok=True)
                    if parts[2] == 'file':
                        name = os.path.basename(urllib.parse.parse_qs(url.query)['name'][0])
                        if body.startswith(b'data:image/png;base64,'):
                            import base64
                            body = base64.b64decode(body[len(b'data:image/png;base64,'):])
                        with open(os.path.join(folder, name), 'wb') as f:
                            f.write(body)
                    elif parts[2] == 'result':
                        with server.cond:
                            server.results[run] = json.loads(body)
                            server.cond.notify_all()
                self.send_response(204)
                self.end_headers()

        self.httpd = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def url(self, path):
        return 'http://127.0.0.1:%d%s' % (self.port, path)

    def wait(self, run, timeout):
        deadline = time.time() + timeout
        with self.cond:
            while run not in self.results:
                left = deadline - time.time()
                if left <= 0:
                    return None
                self.cond.wait(left)
            return self.results[run]

    def close(self):
        self.httpd.shutdown()


CHROMIUM_FLAGS = [
    '--headless', '--no-sandbox', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--enable-unsafe-swiftshader', '--use-angle=swiftshader', '--ignore-gpu-blocklist',
    '--autoplay-policy=no-user-gesture-required', '--window-size=400,600',
    '--disable-renderer-backgrounding', '--disable-background-timer-throttling',
    '--disable-backgrounding-occluded-windows',
]


def chromium():
    for name in ('chromium', 'chromium-browser', 'google-chrome'):
        path = shutil.which(name)
        if path:
            return path
    return None


class Browser:
    """One headless Chromium on one page; its profile (and so the page's IndexedDB) lives in
    `profile`, which a later Browser may reuse."""

    def __init__(self, url, profile, extra=(), log=None):
        self.profile = profile
        args = [chromium()] + CHROMIUM_FLAGS + ['--user-data-dir=' + profile] + list(extra) + [url]
        self.log = open(log or os.devnull, 'wb')
        self.proc = subprocess.Popen(args, stdout=self.log, stderr=subprocess.STDOUT,
                                     start_new_session=True)

    def pids(self):
        """The browser and every process under it."""
        found, frontier = {self.proc.pid}, [self.proc.pid]
        while frontier:
            pid = frontier.pop()
            kids = []
            try:
                tasks = os.listdir('/proc/%d/task' % pid)
            except OSError:
                tasks = []
            # A child belongs to the thread that started it.
            for task in tasks:
                try:
                    with open('/proc/%d/task/%s/children' % (pid, task)) as f:
                        kids += [int(k) for k in f.read().split()]
                except OSError:
                    pass
            for k in kids:
                if k not in found:
                    found.add(k)
                    frontier.append(k)
        return found

    def cpu_seconds(self):
        """CPU seconds (user and system) used so far by each kind of process of the browser
        ('browser', 'renderer', 'gpu-process', 'utility'...)."""
        kinds = {}
        tick = os.sysconf('SC_CLK_TCK')
        for pid in self.pids():
            try:
                with open('/proc/%d/cmdline' % pid) as f:
                    # Chromium rewrites its processes' titles: the arguments, space-separated.
                    words = f.read().replace('\0', ' ').split()
                with open('/proc/%d/stat' % pid) as f:
                    fields = f.read().rsplit(')', 1)[1].split()
            except OSError:
                continue
            kind = next((w[7:] for w in words if w.startswith('--type=')), 'browser')
            kinds[kind] = kinds.get(kind, 0) + (int(fields[11]) + int(fields[12])) / tick
        return kinds

    def close(self):
        if self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, signal.SIGTERM)
                self.proc.wait(10)
            except (subprocess.TimeoutExpired, ProcessLookupError):
                try:
                    os.killpg(self.proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                self.proc.wait()
        self.log.close()
