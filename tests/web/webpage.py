"""Serves the browser build and runs it in headless Chromium: the page gets its options from its
address and posts its pictures and results back here."""

import base64
import http.server
import importlib.machinery
import importlib.util
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import threading
import time
import urllib.parse
import urllib.request


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


class DevTools:
    """Chromium's DevTools protocol on one page, over a plain WebSocket."""

    def __init__(self, profile, timeout=30):
        deadline = time.time() + timeout
        port_file = os.path.join(profile, 'DevToolsActivePort')
        while not os.path.exists(port_file) or not open(port_file).read().strip():
            if time.time() > deadline:
                raise RuntimeError('Chromium opened no DevTools port')
            time.sleep(0.05)
        port = int(open(port_file).read().split()[0])
        pages = []
        while not pages:
            if time.time() > deadline:
                raise RuntimeError('Chromium shows no page to DevTools')
            with urllib.request.urlopen('http://127.0.0.1:%d/json/list' % port) as r:
                pages = [t for t in json.loads(r.read()) if t.get('type') == 'page']
        path = '/' + pages[0]['webSocketDebuggerUrl'].split('/', 3)[3]
        self.sock = socket.create_connection(('127.0.0.1', port), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(('GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\n'
                           'Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\n'
                           'Sec-WebSocket-Version: 13\r\n\r\n' % (path, port, key)).encode())
        answer = b''
        while b'\r\n\r\n' not in answer:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise RuntimeError('DevTools closed the connection')
            answer += chunk
        if b' 101 ' not in answer.split(b'\r\n')[0]:
            raise RuntimeError('DevTools refused: %r' % answer[:100])
        self.buffer = answer.split(b'\r\n\r\n', 1)[1]
        self.next_id = 0

    def _read(self, n):
        while len(self.buffer) < n:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise RuntimeError('DevTools closed the connection')
            self.buffer += chunk
        out, self.buffer = self.buffer[:n], self.buffer[n:]
        return out

    def _message(self):
        data = b''
        while True:
            head = self._read(2)
            length = head[1] & 0x7f
            if length == 126:
                length = struct.unpack('>H', self._read(2))[0]
            elif length == 127:
                length = struct.unpack('>Q', self._read(8))[0]
            data += self._read(length)
            if head[0] & 0x80:
                return json.loads(data)

    def call(self, method, **params):
        self.next_id += 1
        body = json.dumps({'id': self.next_id, 'method': method, 'params': params}).encode()
        mask = os.urandom(4)
        head = bytes([0x81])
        if len(body) < 126:
            head += bytes([0x80 | len(body)])
        else:
            head += bytes([0x80 | 126]) + struct.pack('>H', len(body))
        self.sock.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(body)))
        while True:
            message = self._message()
            if message.get('id') == self.next_id:
                if 'error' in message:
                    raise RuntimeError('%s: %s' % (method, message['error']))
                return message.get('result', {})

    def evaluate(self, expression):
        result = self.call('Runtime.evaluate', expression=expression, returnByValue=True)
        if 'exceptionDetails' in result:
            raise RuntimeError('%s: %s' % (expression, result['exceptionDetails'].get('text')))
        return result['result'].get('value')

    def wait_for(self, expression, timeout=30):
        """Whether the expression came true on the page within timeout seconds."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            try:
                if self.evaluate(expression):
                    return True
            except RuntimeError:
                pass  # the page is not there yet
            time.sleep(0.05)
        return False

    def press(self, key='q'):
        """A key pressed and let go, as a person would: the page counts it as a gesture."""
        for kind in ('keyDown', 'keyUp'):
            self.call('Input.dispatchKeyEvent', type=kind, key=key, code='Key' + key.upper(),
                      windowsVirtualKeyCode=ord(key.upper()))

    def close(self):
        self.sock.close()


class Browser:
    """One headless Chromium on one page; its profile (and so the page's IndexedDB) lives in
    `profile`, which a later Browser may reuse."""

    def __init__(self, url, profile, extra=(), log=None, before=None):
        """`before`, when given, is called with a DevTools connection before the page loads."""
        self.profile = profile
        if before:
            extra = list(extra) + ['--remote-debugging-port=0']
        args = [chromium()] + CHROMIUM_FLAGS + ['--user-data-dir=' + profile] + list(extra) + \
            ['about:blank' if before else url]
        self.log = open(log or os.devnull, 'wb')
        self.proc = subprocess.Popen(args, stdout=self.log, stderr=subprocess.STDOUT,
                                     start_new_session=True)
        # The connection stays open: what it set (a quota, say) lasts only as long.
        self.devtools = None
        if before:
            try:
                self.devtools = DevTools(profile)
                before(self.devtools)
                self.devtools.call('Page.navigate', url=url)
            except BaseException:
                self.close()
                raise

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
        if self.devtools:
            self.devtools.close()
            self.devtools = None
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
