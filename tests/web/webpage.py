"""Serves the browser build and runs it in a browser engine (headless Chromium, Firefox, or
WebKitGTK under an X server of our own): the page gets its options from its address and posts
its pictures and results back here."""

import fcntl
import http.server
import importlib.machinery
import importlib.util
import json
import os
import shutil
import signal
import subprocess
import sys
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
    found = importlib.util.spec_from_loader('serve_web', loader)
    module = importlib.util.module_from_spec(found)
    loader.exec_module(module)
    return module


CSP = serve_web().CSP


class Server:
    """Serves `root` (the built page) and /test/ from `data`; keeps what pages post under
    /report/<run>/ in `out`."""

    def __init__(self, root, data, out):
        self.root, self.data, self.out = root, data, out
        self.results = {}
        self.cond = threading.Condition()
        # offline: the page's own files are refused (a test's files and reports still pass);
        # missing: names of the page's files answered with 404.
        self.offline = False
        self.missing = set()
        # gzip: the page's files sent compressed to browsers that take it, as a web server would.
        self.gzip = False
        self.packed = {}
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
                # The page runs under the policy its own server sends.
                self.send_header('Content-Security-Policy', CSP)
                super().end_headers()

            def do_GET(self):
                p = urllib.parse.urlparse(self.path).path
                if not p.startswith('/test/'):
                    if server.offline:
                        return self.send_error(503, 'offline')
                    if os.path.basename(p) in server.missing:
                        return self.send_error(404)
                    if server.gzip and 'gzip' in self.headers.get('Accept-Encoding', ''):
                        return self.send_packed(p)
                super().do_GET()

            def send_packed(self, p):
                path = self.translate_path(p)
                if not os.path.isfile(path):
                    return self.send_error(404)
                if path not in server.packed:
                    import gzip
                    with open(path, 'rb') as f:
                        server.packed[path] = gzip.compress(f.read(), 9)
                body = server.packed[path]
                self.send_response(200)
                self.send_header('Content-Type', self.guess_type(path))
                self.send_header('Content-Encoding', 'gzip')
                self.send_header('Content-Length', str(len(body)))
                self.end_headers()
                self.wfile.write(body)

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
        httpd = self.httpd

        def handle_error(request, address):
            # A browser closed in the middle of a download is no fault.
            if not isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
                http.server.ThreadingHTTPServer.handle_error(httpd, request, address)
        self.httpd.handle_error = handle_error
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


def firefox():
    for name in ('firefox-esr', 'firefox'):
        path = shutil.which(name)
        if path:
            return path
    return None


# The system's Python, which has the GObject bindings whichever Python runs the tests.
SYSTEM_PYTHON = '/usr/bin/python3' if os.path.exists('/usr/bin/python3') else 'python3'


def webkit():
    """Whether WebKitGTK's Python bindings and an X server to show its window are here."""
    if not shutil.which('Xvfb'):
        return False
    probe = subprocess.run([SYSTEM_PYTHON, '-c', 'import gi; gi.require_version("WebKit2", "4.1"); '
                            'from gi.repository import WebKit2'], capture_output=True)
    return probe.returncode == 0


def engines():
    """The engines installed here, Chromium first."""
    found = []
    if chromium():
        found.append('chromium')
    # Firefox's WebGL needs a display (headless, it finds no GL driver).
    if firefox() and shutil.which('Xvfb'):
        found.append('firefox')
    if webkit():
        found.append('webkit')
    return found


# Firefox's first-run pages, updates and reports kept out of the way; sound without a gesture;
# WebGL on the software renderer, as Chromium's SwiftShader.
FIREFOX_PREFS = {
    'browser.shell.checkDefaultBrowser': False,
    'browser.startup.homepage_override.mstone': 'ignore',
    'browser.aboutwelcome.enabled': False,
    'browser.sessionstore.resume_from_crash': False,
    'toolkit.startup.max_resumed_crashes': -1,
    'datareporting.policy.dataSubmissionEnabled': False,
    'toolkit.telemetry.reportingpolicy.firstRun': False,
    'app.update.disabledForTesting': True,
    'app.normandy.enabled': False,
    'extensions.update.enabled': False,
    'network.captive-portal-service.enabled': False,
    'network.connectivity-service.enabled': False,
    'media.autoplay.default': 0,
    'media.autoplay.blocking_policy': 0,
    'webgl.force-enabled': True,
    'layout.css.devPixelsPerPx': '1.0',
}


class Xvfb:
    """An X server of our own for the engines that need a display."""

    def __init__(self):
        read, write = os.pipe()
        self.proc = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0',
                                      '500x750x24', '-nolisten', 'tcp'], pass_fds=(write,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     start_new_session=True)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError('Xvfb did not start')
        self.display = ':' + number

    def close(self):
        self.proc.terminate()
        self.proc.wait()


class Browser:
    """One browser engine on one page; its profile (and so the page's IndexedDB) lives in
    `profile`, which a later Browser may reuse. `size` is the window's (width, height) in CSS
    pixels; `extra` are Chromium's own flags: the other engines take its fake media devices and
    its answers to permission prompts in their own terms, and ignore the rest."""

    def __init__(self, url, profile, extra=(), log=None, engine='chromium', size=None,
                 display=None):
        self.profile = profile
        env = None
        if engine == 'chromium':
            size_flag = ['--window-size=%d,%d' % size] if size else []
            args = ([chromium()] + CHROMIUM_FLAGS + ['--user-data-dir=' + profile] + size_flag +
                    list(extra) + [url])
        elif engine == 'firefox':
            prefs = dict(FIREFOX_PREFS)
            if '--use-fake-device-for-media-stream' in extra:
                prefs['media.navigator.streams.fake'] = True
            if '--use-fake-ui-for-media-stream' in extra:
                prefs['media.navigator.permission.disabled'] = True
            if '--deny-permission-prompts' in extra:
                prefs['permissions.default.camera'] = 2
                prefs['permissions.default.microphone'] = 2
            with open(os.path.join(profile, 'user.js'), 'w') as f:
                for key, value in prefs.items():
                    f.write('user_pref(%s, %s);\n' % (json.dumps(key), json.dumps(value)))
            # Full screen on our X server: no toolbars (its windows are at least 500 wide).
            args = [firefox(), '--no-remote', '--new-instance', '--profile', profile, '--kiosk',
                    url]
            env = dict(os.environ, DISPLAY=display)
        elif engine == 'webkit':
            width, height = size or (400, 600)
            args = [SYSTEM_PYTHON, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                            'webkit_page.py'), url, profile, str(width),
                    str(height)]
            # Its mock camera and microphone, allowed or refused when the page asks.
            if '--use-fake-device-for-media-stream' in extra:
                args.append('allow' if '--use-fake-ui-for-media-stream' in extra else 'deny')
            # The sandbox needs namespaces that a container run as root may lack.
            env = dict(os.environ, DISPLAY=display, WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS='1',
                       LIBGL_ALWAYS_SOFTWARE='1')
        else:
            raise ValueError('no engine ' + engine)
        self.log = open(log or os.devnull, 'wb')
        self.proc = subprocess.Popen(args, stdout=self.log, stderr=subprocess.STDOUT, env=env,
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


class DevTools:
    """Headless Chromium driven through its DevTools protocol (over a pipe), for what a page
    cannot report itself: the browser's installability check, a page that never started, network
    and CPU emulation. Starts on a blank page; `open` navigates the one tab."""

    def __init__(self, profile, extra=(), log=None):
        def high(fd):  # clear of 3 and 4, which the child fills
            moved = fcntl.fcntl(fd, fcntl.F_DUPFD, 10)
            os.close(fd)
            return moved
        to_browser, self._in = os.pipe()
        self._out, from_browser = os.pipe()
        to_browser, from_browser = high(to_browser), high(from_browser)
        # Chromium reads commands on descriptor 3 and answers on 4.
        move = ('import os, sys; os.dup2(%d, 3); os.dup2(%d, 4); os.close(%d); os.close(%d); '
                'os.execv(sys.argv[1], sys.argv[1:])' % (to_browser, from_browser, to_browser,
                                                        from_browser))
        # Debian's wrapper script loses the descriptors; its binary keeps them.
        binary = '/usr/lib/chromium/chromium'
        binary = binary if os.path.exists(binary) else chromium()
        args = ([sys.executable, '-c', move, binary] + CHROMIUM_FLAGS +
                ['--user-data-dir=' + profile, '--remote-debugging-pipe'] + list(extra) +
                ['about:blank'])
        self.log = open(log or os.devnull, 'wb')
        self.proc = subprocess.Popen(args, stdout=self.log, stderr=subprocess.STDOUT,
                                     pass_fds=(to_browser, from_browser), start_new_session=True)
        os.close(to_browser)
        os.close(from_browser)
        self._buffer = b''
        self._next = 0
        self.events = []
        targets = self.call('Target.getTargets')['targetInfos']
        page = next(t for t in targets if t['type'] == 'page')
        self.session = self.call('Target.attachToTarget', targetId=page['targetId'],
                                 flatten=True)['sessionId']
        self.page('Page.enable')
        self.page('Runtime.enable')

    def _send(self, message):
        os.write(self._in, json.dumps(message).encode() + b'\0')

    def _receive(self, deadline):
        while b'\0' not in self._buffer:
            if time.time() > deadline:
                raise TimeoutError('Chromium did not answer')
            import select
            ready, _, _ = select.select([self._out], [], [], max(0.0, deadline - time.time()))
            if ready:
                chunk = os.read(self._out, 1 << 20)
                if not chunk:
                    raise EOFError('Chromium went away')
                self._buffer += chunk
        message, self._buffer = self._buffer.split(b'\0', 1)
        return json.loads(message)

    def call(self, method, session=None, timeout=60, **params):
        self._next += 1
        message = {'id': self._next, 'method': method, 'params': params}
        if session:
            message['sessionId'] = session
        self._send(message)
        deadline = time.time() + timeout
        while True:
            answer = self._receive(deadline)
            if answer.get('id') == self._next:
                if 'error' in answer:
                    raise RuntimeError('%s: %s' % (method, answer['error'].get('message')))
                return answer.get('result', {})
            self.events.append(answer)

    def page(self, method, **params):
        return self.call(method, self.session, **params)

    def open(self, url):
        self.page('Page.navigate', url=url)

    def evaluate(self, expression):
        result = self.page('Runtime.evaluate', expression=expression, returnByValue=True,
                           awaitPromise=True)
        return result.get('result', {}).get('value')

    def wait_for(self, expression, timeout=60):
        """Polls a JavaScript expression until it is true-ish; returns its value, or None."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.1)
        return None

    def trace(self, seconds, categories):
        """The browser's trace events of the next `seconds` (Chromium's tracing)."""
        self.call('Tracing.start', transferMode='ReportEvents',
                  traceConfig={'includedCategories': list(categories)})
        time.sleep(seconds)
        self.call('Tracing.end')
        events, deadline = [], time.time() + 120
        for message in self.events:
            if message.get('method') == 'Tracing.dataCollected':
                events += message['params']['value']
        self.events = [m for m in self.events if not m.get('method', '').startswith('Tracing.')]
        while True:
            message = self._receive(deadline)
            if message.get('method') == 'Tracing.dataCollected':
                events += message['params']['value']
            elif message.get('method') == 'Tracing.tracingComplete':
                return events

    def press(self, key='q'):
        """A key pressed and let go, as a person would: the page counts it as a gesture."""
        for kind in ('keyDown', 'keyUp'):
            self.page('Input.dispatchKeyEvent', type=kind, key=key, code='Key' + key.upper(),
                      windowsVirtualKeyCode=ord(key.upper()))

    def screenshot(self, path):
        import base64
        data = self.page('Page.captureScreenshot', format='png')['data']
        with open(path, 'wb') as f:
            f.write(base64.b64decode(data))

    def close(self):
        try:
            os.close(self._in)
            os.close(self._out)
        except OSError:
            pass
        Browser.close(self)
