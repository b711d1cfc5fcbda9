#!/usr/bin/env python3
"""The browser build in headless Chromium (SwiftShader's WebGL), and in Firefox and WebKitGTK
(llvmpipe's, on an X server the test starts) where they are installed, against the desktop
program's headless runs of the same seeded scripts.

    tests/web/browser_test.py --page build-web/src --program build/src/brumelo [--keep DIR]
                              [--engines chromium,firefox,webkit]

The page plays a script frame by frame (as a headless run does) and posts its frames, its
window and its state back to a small server here. The math library differs between the two
builds, so the frames are compared by what they show (cells of 20 x 20 pixels), not pixel for
pixel. Firefox and WebKit run the cases that a browser's own code takes part in (the frames,
the menu, the chooser, the stored picture, the camera: Firefox's fake stream and WebKit's mock
devices stand in for Chromium's fake camera); the rest lean on Chromium's fake devices. Prints
PASS, FAIL or SKIP a case; exits 1 when a case failed, 77 when no engine is installed.
"""

import argparse
import json
import math
import os
import shutil
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pictures  # noqa: E402
import webpage  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SEED = 1


def stroke(finger, start, end, first_frame, frames):
    """A finger drawn from start to end, one move a frame."""
    (x0, y0), (x1, y1) = start, end
    lines = ['%d touch-down %d %g %g' % (first_frame, finger, x0, y0)]
    for i in range(1, frames):
        t = i / frames
        lines.append('%d touch-move %d %.1f %.1f' %
                     (first_frame + i, finger, x0 + (x1 - x0) * t, y0 + (y1 - y0) * t))
    lines.append('%d touch-up %d %g %g' % (first_frame + frames, finger, x1, y1))
    return lines


def zigzag(finger, y, first_frame, passes, step=12):
    """A finger wiping fast back and forth across the screen at height y, never stopping, one
    move a frame: fast enough for the wipe sounds."""
    xs, x, direction = [], 30.0, 1
    for _ in range(passes):
        while 30 <= x + direction * step <= 290:
            x += direction * step
            xs.append(x)
        direction = -direction
    lines = ['%d touch-down %d 30 %g' % (first_frame, finger, y)]
    lines += ['%d touch-move %d %.1f %g' % (first_frame + 1 + i, finger, x, y)
              for i, x in enumerate(xs)]
    lines.append('%d touch-up %d %.1f %g' % (first_frame + len(xs) + 1, finger, xs[-1], y))
    return lines


def tap(finger, x, y, frame, taps=1):
    return ['%d touch-down %d %g %g' % (frame, finger, x, y),
            '%d touch-up %d %g %g %d' % (frame, finger, x, y, taps)]


def blowing_wav(path, rate=48000):
    """Three seconds of a quiet room, then a square wave near full scale for twenty: as loud as
    blowing into a phone's microphone, once the program has measured the silence (its first 50
    frames of sound; here 3 s even at 17 frames a second)."""
    quiet = [((i * 7919) % 601) - 300 for i in range(rate * 3)]
    loud = [30000 if (i // 160) % 2 else -30000 for i in range(rate * 20)]
    samples = struct.pack('<%dh' % (len(quiet) + len(loud)), *(quiet + loud))
    with open(path, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', 36 + len(samples)) + b'WAVE')
        f.write(b'fmt ' + struct.pack('<IHHIIHH', 16, 1, 1, rate, rate * 2, 2, 16))
        f.write(b'data' + struct.pack('<I', len(samples)) + samples)


class Suite:
    def __init__(self, page, program, work):
        self.page, self.program, self.work = page, program, work
        self.data = os.path.join(work, 'data')
        shutil.copytree(os.path.join(HERE, 'data'), self.data)
        self.server = webpage.Server(page, self.data, os.path.join(work, 'reports'))
        self.home = os.path.join(work, 'home')
        os.makedirs(self.home)
        self.failures = 0
        self.runs = 0
        self.engine = 'chromium'
        self.xvfb = None
        self.desktops = {}
        self.keep = False
        self.only = None

    def script(self, name, lines):
        with open(os.path.join(self.data, name), 'w') as f:
            f.write('\n'.join(lines) + '\n')
        return name

    def desktop(self, name, script, frames, data_dir=None, args=()):
        """The desktop program, headless, in a folder of its own holding the test files; returns
        that folder and what it logged."""
        if name in self.desktops:  # the same run for every engine
            return self.desktops[name]
        folder = os.path.join(self.work, 'desktop', name)
        shutil.copytree(self.data, folder)
        data_dir = data_dir or os.path.join(folder, 'data-folder')
        env = dict(os.environ, ALSOFT_DRIVERS='null', SDL_AUDIODRIVER='dummy', LP_NUM_THREADS='1',
                   HOME=self.home, XDG_DATA_HOME=os.path.join(self.home, 'share'))
        run = subprocess.run([self.program, '--headless', '--seed', str(SEED), '--frames',
                              str(frames), '--script', script, '--data-dir', data_dir,
                              '--pictures-dir', os.path.join(folder, 'pictures')] + list(args),
                             cwd=folder, env=env, capture_output=True, text=True, timeout=300)
        if run.returncode != 0:
            raise AssertionError('desktop run %s failed: %s' % (name, run.stderr[-500:]))
        self.desktops[name] = folder, run.stderr
        return folder, run.stderr

    def browser(self, name, script, frames, params=None, flags=(), profile=None, files=(),
                before=None, during=None, window=(320, 480)):
        """The page in a fresh browser of the suite's engine (or one on `profile`, as a later
        visit) with a page of `window` CSS pixels; returns the page's report and the folder its
        pictures landed in. The pane is the phone's, as in the desktop's headless runs, unless
        params give another (None: the page's own shape). `before` and `during` (Chromium only)
        get a DevTools connection before the page loads and while it runs."""
        self.runs += 1
        if self.engine != 'chromium':
            name += '-' + self.engine
        query = {'seed': SEED, 'frames': frames, 'script': '/test/' + script,
                 'report': '/report/' + name, 'pane': '320x480'}
        if files:
            query['files'] = ','.join('/test/' + f for f in files)
        query.update(params or {})
        query = {k: v for k, v in query.items() if v is not None}
        url = self.server.url('/brumelo.html?' + '&'.join('%s=%s' % kv for kv in query.items()))
        profile = profile or tempfile.mkdtemp(dir=self.work, prefix='profile-')
        log = os.path.join(self.work, name + '.log')
        if self.engine != 'chromium' and not self.xvfb:
            self.xvfb = webpage.Xvfb()
        if before or during:
            browser = webpage.DevTools(profile, ['--window-size=%d,%d' % window] + list(flags), log)
        else:
            browser = webpage.Browser(url, profile, flags, log, self.engine, window,
                                      self.xvfb and self.xvfb.display)
        try:
            if before or during:
                # What DevTools sets (a quota, say) lasts as long as its connection.
                if before:
                    before(browser)
                browser.open(url)
                if during:
                    during(browser)
            result = self.server.wait(name, 120)
        finally:
            browser.close()
        if result is None:
            raise AssertionError('the page %s sent no report (see %s)' % (name, log))
        # Pictures are posted before the report.
        return result, os.path.join(self.work, 'reports', name)

    def captures(self):
        """Whether pictures of the window are taken (they need a canvas that keeps its pixels):
        in every engine."""
        return True

    def capture(self, frame):
        return {'capture': frame} if self.captures() else {}

    def case(self, name, body):
        if self.engine != 'chromium':
            name += ' [%s]' % self.engine
        if self.only and self.only not in name:
            return
        start = time.time()
        try:
            skipped = body()
        except AssertionError as e:
            self.failures += 1
            print('FAIL %s: %s' % (name, e), flush=True)
            return
        except Exception as e:  # a broken harness is a failure too, said plainly
            self.failures += 1
            print('FAIL %s: %s: %s' % (name, type(e).__name__, e), flush=True)
            return
        if skipped:
            print('SKIP %s: %s' % (name, skipped), flush=True)
        else:
            print('PASS %s (%.0f s)' % (name, time.time() - start), flush=True)


FAKE_MICROPHONE = ['--use-fake-ui-for-media-stream', '--use-fake-device-for-media-stream']
# A page hidden or shown again, as the browser tells it (headless pages are never hidden).
SHOWN = ("Object.defineProperty(document, 'hidden', {configurable: true, get: () => %s});"
         "Object.defineProperty(document, 'visibilityState', {configurable: true, "
         "get: () => %s ? 'hidden' : 'visible'});"
         "document.dispatchEvent(new Event('visibilitychange')); true")


def first_touch(devtools):
    """A key pressed once the page runs: the person's first touch, that asks for the
    microphone."""
    check(devtools.wait_for("document.body.classList.contains('running')", 60), 'the page never ran')
    devtools.press()


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def similar(a, b, what, share=0.15):
    diff, worst = pictures.grid_difference(a, b)
    check(diff <= share, '%s: %.0f%% of the picture differs (worst cell %.0f of 255)' %
          (what, 100 * diff, worst))


def frame_png(path):
    """A frame the page drew, at 1 pixel a point as the desktop's headless ones (the page draws at
    its window's density)."""
    return pictures.read_png(path).scaled(320, 480)


FOG_BOX = (20, 420, 300, 470)       # never touched by the scripts
STROKE_BOX = (70, 140, 250, 160)     # along the stroke of the frames and microphone cases


def wipe_depth(picture, stroke=STROKE_BOX, fog=FOG_BOX):
    """How much the stroke stands out from the untouched steam. Steam greys what lies under it:
    a wipe shows as a change of brightness (the drawn evening) or of colour (the glass look's
    photograph, whose sunset the stroke crosses; unwiped, its fog there differs by some 40)."""
    def chroma(box):
        rgb = picture.mean(*box)
        return max(rgb) - min(rgb)
    return max(abs(picture.luminance(*stroke) - picture.luminance(*fog)),
               chroma(stroke) - chroma(fog))


def in_window(window, box):
    """The frame's box as the window shows it (the frame is letterboxed in the canvas)."""
    scale = min(window.width / 320, window.height / 480)
    left, top = (window.width - 320 * scale) / 2, (window.height - 480 * scale) / 2
    x0, y0, x1, y1 = box
    return (left + x0 * scale, top + y0 * scale, left + x1 * scale, top + y1 * scale)


def alert_shown(window, frame):
    """Whether the window picture shows an alert box over the frame: the box is deep blue
    glass, so the middle of the screen turns bluer and darker there than in the frame."""
    scale = min(window.width / 320, window.height / 480)
    left, top = (window.width - 320 * scale) / 2, (window.height - 480 * scale) / 2
    w = window.mean(left + 60 * scale, top + 200 * scale, left + 260 * scale, top + 280 * scale)
    f = frame.mean(60, 200, 260, 280)
    return (w[2] - w[0]) - (f[2] - f[0]) > 15 and sum(w) < sum(f)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--page', required=True, help='folder with brumelo.html (build-web/src)')
    parser.add_argument('--program', required=True, help='the desktop build\'s brumelo')
    parser.add_argument('--keep', help='keep pictures and logs in this folder')
    parser.add_argument('--engines', help='comma-separated; every installed one by default')
    parser.add_argument('--only', help='only the cases whose names hold this')
    args = parser.parse_args()
    installed = webpage.engines()
    engines = args.engines.split(',') if args.engines else installed
    for engine in set(engines) - set(installed):
        print('SKIP %s: not installed' % engine)
    engines = [e for e in engines if e in installed]
    if not engines:
        print('SKIP browser tests: no browser engine')
        return 77
    for f in ('brumelo.html', 'brumelo.js', 'brumelo.wasm', 'brumelo.data', 'sw.js'):
        if not os.path.exists(os.path.join(args.page, f)):
            print('FAIL browser tests: %s is not built in %s' % (f, args.page))
            return 1
    work = args.keep or tempfile.mkdtemp(prefix='brumelo-browser-')
    if args.keep:
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
    suite = Suite(os.path.abspath(args.page), os.path.abspath(args.program), work)
    suite.keep = bool(args.keep)
    suite.only = args.only

    def frames():
        lines = ['1 button 0'] + zigzag(1, 150, 5, 6)
        lines += tap(2, 90, 300, 140) + tap(2, 160, 320, 144) + tap(2, 230, 300, 148)
        lines += ['160 screenshot frames-160.png']
        lines += tap(3, 160, 400, 170) + tap(3, 160, 400, 172, 2)
        lines += ['180 screenshot frames-180.png']
        script = suite.script('frames.script', lines)
        folder, log = suite.desktop('frames', script, 181)
        result, shots = suite.browser('frames', script, 181, suite.capture(180))
        desk = pictures.read_png(os.path.join(folder, 'frames-160.png'))
        web = frame_png(os.path.join(shots, 'frames-160.png'))
        check(wipe_depth(desk) > 60, 'the desktop frame shows no wipe (%.0f)' % wipe_depth(desk))
        check(wipe_depth(web) > 60, 'the browser frame shows no wipe (%.0f)' % wipe_depth(web))
        check(abs(web.luminance(*STROKE_BOX) - desk.luminance(*STROKE_BOX)) < 25,
              'the wipe looks different (%.0f and %.0f)' %
              (web.luminance(*STROKE_BOX), desk.luminance(*STROKE_BOX)))
        similar(web, desk, 'frame 160')
        status = result['status']
        check(len(status['droplets']) >= 3, 'only %d droplets' % len(status['droplets']))
        for who, text in (('desktop', log), ('browser', '\n'.join(result['log']))):
            check(text.count('alert: Brumelo') == 2,
                  '%s: the menu was not shown at start and on the double tap' % who)
        check(status['alert'] == 'Brumelo', 'the menu is not up at the end')
        frame = frame_png(os.path.join(shots, 'frames-180.png'))
        if suite.captures():
            window = pictures.read_png(os.path.join(shots, 'window-180.png'))
            check(alert_shown(window, frame), 'the window shows no menu over the frame')
        similar(frame, pictures.read_png(os.path.join(folder, 'frames-180.png')), 'frame 180')
        finished = [t['finished'] for t in status['tracks'] if t]
        check(len(finished) == 4, 'not all four wipe sounds loaded: %s' % status['tracks'])
        # Only Chromium plays sound without a sound card; the others' clocks stand still.
        if suite.engine == 'chromium':
            check(sum(finished) >= 1, 'no wipe sound played to its end: %s' % finished)

    def tilt():
        lines = ['1 button 0']
        for i, x in enumerate((60, 110, 160, 210, 260)):
            lines += tap(2, x, 120, 5 + 3 * i)
        lines += ['80 screenshot tilt-80.png']
        script = suite.script('tilt.script', lines)
        # The desktop tilted right by its script, and upright.
        tilted = suite.script('tilt-desktop.script', ['1 accel 1 0 0'] + lines)
        right, _ = suite.desktop('tilt-right', tilted, 81)
        upright, _ = suite.desktop('tilt-upright', script, 81)
        # The page tilted right by the device's motion: the push that holds the device up points
        # to its left.
        result, shots = suite.browser('tilt', script, 81, {'motion': '-9.80665,0,0'})
        gx, gy = result['status']['gravity']
        check(abs(gx - 1) < 0.05 and abs(gy) < 0.05, 'gravity is (%.2f, %.2f)' % (gx, gy))
        web = frame_png(os.path.join(shots, 'tilt-80.png'))
        to_right = pictures.grid_difference(web, pictures.read_png(os.path.join(right, 'tilt-80.png')))
        to_upright = pictures.grid_difference(
            web, pictures.read_png(os.path.join(upright, 'tilt-80.png')))
        check(to_right[0] < to_upright[0] / 2,
              'the droplets ran as upright (%.1f%% of the picture differs from the tilted desktop, '
              '%.1f%% from the upright one)' % (100 * to_right[0], 100 * to_upright[0]))

    def tilt_engines():
        # Each engine's reading of a phone held upright, then turned left (a quarter
        # anticlockwise: the page turns to landscape): the drops fall down the screen (the
        # status's gravity has y down).
        engines = {
            'chromium': ('Mozilla/5.0 (Linux; Android 13; Pixel 7) AppleWebKit/537.36 (KHTML, like '
                         'Gecko) Chrome/120.0.0.0 Mobile Safari/537.36', 1),
            'webkit': ('Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X) AppleWebKit/605.1.15 '
                       '(KHTML, like Gecko) Version/17.0 Mobile/15E148 Safari/604.1', -1),
            'firefox': ('Mozilla/5.0 (Android 13; Mobile; rv:120.0) Gecko/120.0 Firefox/120.0', 1),
        }
        script = suite.script('engines.script', ['1 button 0'])
        for engine, (agent, sign) in engines.items():
            for pose, reading in (('upright', (0, 9.80665, 0, 0)), ('turned-left', (9.80665, 0, 0, 90))):
                x, y, z, angle = reading
                motion = '%g,%g,%g,%g' % (sign * x, sign * y, sign * z, angle)
                result, _ = suite.browser('%s-%s' % (engine, pose), script, 30, {'motion': motion},
                                          flags=['--user-agent=' + agent])
                gx, gy = result['status']['gravity']
                check(gy > 0.9 and abs(gx) < 0.1, '%s %s: gravity is (%.2f, %.2f), not down the '
                      'screen' % (engine, pose, gx, gy))

    def blow():
        wav = os.path.join(suite.work, 'blowing.wav')
        blowing_wav(wav)
        lines = ['1 button 0'] + stroke(1, (40, 150), (280, 150), 5, 40)
        lines += ['50 screenshot blow-50.png', '400 screenshot blow-400.png']
        script = suite.script('blow.script', lines)
        folder, _ = suite.desktop('blow', script, 401)
        result, shots = suite.browser('blow', script, 401, flags=FAKE_MICROPHONE + [
            '--use-file-for-fake-audio-capture=' + wav], during=first_touch)
        status = result['status']
        check(status['level'] > 0.7 and status['blow'] > 0.7,
              'the microphone reads %.2f (%.2f over a floor of %.3f), no blow' %
              (status['level'], status['blow'], status['floor']))
        web50 = frame_png(os.path.join(shots, 'blow-50.png'))
        web400 = frame_png(os.path.join(shots, 'blow-400.png'))
        desk50 = pictures.read_png(os.path.join(folder, 'blow-50.png'))
        desk400 = pictures.read_png(os.path.join(folder, 'blow-400.png'))
        check(wipe_depth(desk400) > 0.7 * wipe_depth(desk50), 'without blowing the wipe fogged up')
        # Unwiped, the photograph's fog there measures some 45; wiped, 100 or more.
        check(wipe_depth(web400) < 0.6 * wipe_depth(web50),
              'blowing brought no steam back (%.0f, then %.0f)' %
              (wipe_depth(web50), wipe_depth(web400)))

    def not_a_picture():
        script = suite.script('pick.script', ['1 button 1', '5 pick notes.txt',
                                              '10 screenshot pick-10.png'])
        _, log = suite.desktop('pick', script, 11)
        result, shots = suite.browser('pick', script, 11, suite.capture(10), files=['notes.txt'])
        check('alert: Not a picture' in log, 'the desktop said nothing')
        check('alert: Not a picture' in result['log'], 'the browser said nothing: %s' %
              result['log'])
        check(result['status']['alert'] == 'Not a picture', 'the alert is not up')
        if suite.captures():
            check(alert_shown(pictures.read_png(os.path.join(shots, 'window-10.png')),
                              frame_png(os.path.join(shots, 'pick-10.png'))),
                  'the window shows no alert')

    def live_camera():
        """The fake camera behind the steam through the menu; a refused camera says so in one
        line, and the toy runs on with the still picture."""
        lines = ['1 button 0'] + stroke(1, (40, 150), (280, 150), 5, 30)
        lines += tap(2, 200, 300, 60, 2) + ['62 button 3', '64 button 4',
                                            '490 screenshot camera-490.png']
        script = suite.script('camera.script', lines)
        shown, shots = suite.browser('camera', script, 491,
                                     flags=['--use-fake-ui-for-media-stream',
                                            '--use-fake-device-for-media-stream'])
        refused, refused_shots = suite.browser('camera-refused', script, 491,
                                               flags=['--use-fake-device-for-media-stream',
                                                      '--deny-permission-prompts'])
        check('camera: on' in shown['log'] and
              not any('still picture is back' in line for line in shown['log']),
              'the fake camera did not stay on: %s' % shown['log'])
        said = [line for line in refused['log'] if 'still picture is back' in line]
        check(len(said) == 1 and 'not allowed' in said[0],
              'a refused camera is not said in one line: %s' % refused['log'])
        check(refused['status']['alert'] == 'Live camera', 'no alert for the refused camera')
        camera = frame_png(os.path.join(shots, 'camera-490.png'))
        still = frame_png(os.path.join(refused_shots, 'camera-490.png'))
        a, b = camera.mean(*STROKE_BOX), still.mean(*STROKE_BOX)
        check(max(abs(x - y) for x, y in zip(a, b)) > 25,
              'the wipe shows the same through camera and still picture: %s, %s' % (a, b))

    def corrupt_background():
        script = suite.script('stored.script', ['1 button 0', '20 screenshot stored-20.png'])
        data_dir = os.path.join(suite.work, 'corrupt-data')
        os.makedirs(data_dir)
        shutil.copy(os.path.join(suite.data, 'corrupt.png'), os.path.join(data_dir, 'CustomBG.png'))
        folder, log = suite.desktop('stored', script, 21, data_dir)
        result, shots = suite.browser('stored', script, 21, {'storedbg': '/test/corrupt.png'})
        check('background: cannot show' in log, 'the desktop did not refuse the stored picture')
        check(any('background: cannot show /data/CustomBG.png' in line for line in result['log']),
              'the browser did not refuse the stored picture')
        similar(frame_png(os.path.join(shots, 'stored-20.png')),
                pictures.read_png(os.path.join(folder, 'stored-20.png')), 'the default background')

    def next_visit():
        first = suite.script('visit1.script', ['1 button 1', '3 pick photo-turned.jpg'])
        # A stroke across the top clears the photo's corners.
        second = suite.script('visit2.script', stroke(1, (10, 70), (310, 70), 2, 30) +
                              ['40 screenshot visit2-40.png'])
        data_dir = os.path.join(suite.work, 'visit-data')
        suite.desktop('visit1', first, 10, data_dir)
        folder, _ = suite.desktop('visit2', second, 41, data_dir)
        profile = tempfile.mkdtemp(dir=suite.work, prefix='profile-')
        result, _ = suite.browser('visit1', first, 10, profile=profile, files=['photo-turned.jpg'])
        check(not any('not stored' in line or 'not kept' in line for line in result['log']),
              'the picture was not stored: %s' % result['log'])
        result, shots = suite.browser('visit2', second, 41, profile=profile)
        check(not any(line == 'alert: Brumelo' for line in result['log']),
              'the second visit counted as a first one')
        check(not any('cannot show' in line for line in result['log']),
              'the stored picture was refused: %s' % result['log'])
        check(not any('not saved to pictures' in line for line in result['log']),
              'the second visit found no stored picture')
        web = frame_png(os.path.join(shots, 'visit2-40.png'))
        desk = pictures.read_png(os.path.join(folder, 'visit2-40.png'))
        similar(web, desk, 'the picture kept from the first visit')
        # The photo is stored turned upright (its file says to turn it a quarter clockwise):
        # its yellow corner mark ends top right.
        def yellowness(box):
            r, g, b = web.mean(*box)
            return r + g - 2 * b
        right, left = yellowness((245, 50, 295, 90)), yellowness((25, 50, 75, 90))
        check(right > left + 20, 'the photo is not upright (yellow %.0f top right, %.0f top left)'
              % (right, left))

    def large_photo():
        """A 25-megapixel photo turned by its EXIF, picked: the browser decodes it straight to
        the size the pane needs, upright and covering the pane as on the desktop, and the
        program's memory never holds it whole (100 MB as it is stored)."""
        path = os.path.join(suite.data, 'large-turned.jpg')
        if not os.path.exists(path):
            if not shutil.which('gst-launch-1.0'):
                return 'gst-launch-1.0 (gstreamer1.0-tools) is not installed to make the photo'
            made = os.path.join(suite.work, 'large.jpg')
            subprocess.run(['gst-launch-1.0', '-q', 'videotestsrc', 'num-buffers=1',
                            'pattern=smpte', '!', 'video/x-raw,width=6400,height=4000', '!',
                            'jpegenc', '!', 'filesink', 'location=' + made], check=True,
                           timeout=120)
            # The EXIF block of the small turned photo (a quarter turn clockwise) after its
            # start marker.
            with open(os.path.join(suite.data, 'photo-turned.jpg'), 'rb') as f:
                small = f.read()
            check(small[2:4] == b'\xff\xe1', 'photo-turned.jpg does not start with its EXIF')
            exif = small[2:4 + int.from_bytes(small[4:6], 'big')]
            with open(made, 'rb') as f:
                photo = f.read()
            with open(path, 'wb') as f:
                f.write(photo[:2] + exif + photo[2:])
        # A shake clears the steam off the whole picture.
        lines = ['1 button 1', '3 pick large-turned.jpg']
        lines += ['%d accel %d -1 0' % (f, 3 if f % 2 else -3) for f in range(10, 40)]
        lines += ['41 accel 0 -1 0', '80 screenshot large-80.png']
        script = suite.script('large.script', lines)
        folder, _ = suite.desktop('large', script, 81)
        result, shots = suite.browser('large', script, 81, files=['large-turned.jpg'])
        check(not any('cannot' in line or 'not a readable' in line for line in result['log']),
              'the photo was refused: %s' % result['log'])
        similar(frame_png(os.path.join(shots, 'large-80.png')),
                pictures.read_png(os.path.join(folder, 'large-80.png')),
                'the large photo, turned upright and covering the pane')
        memory = result['status']['memory'] / 1048576
        # Some 95 MB; whole, the photo's pixels alone would take 100 MB more, twice over.
        check(memory < 128, 'the program\'s memory reached %.0f MB' % memory)

    def context_loss():
        # Wipes, then drops running over the wiped band; the context is lost at frame 150 (the
        # steam was last read back at frame 100) and given back.
        lines = ['1 button 0'] + zigzag(1, 150, 5, 4)
        lines += tap(2, 90, 120, 60) + tap(2, 230, 120, 64)
        lines += ['200 screenshot loss-200.png']
        script = suite.script('loss.script', lines)
        for look in ('classic', 'glass'):
            folder, _ = suite.desktop('loss-' + look, script, 201, args=['--look', look])
            result, shots = suite.browser('loss-' + look, script, 201,
                                          {'look': look, 'lose-context': 150, 'capture': 200})
            log = result['log']
            check(any('context lost' in line for line in log) and
                  any('context restored' in line for line in log),
                  '%s: the context was not lost and given back: %s' % (look, log[-8:]))
            check(result['frames'] == 201, '%s: the run stopped at frame %d' % (look, result['frames']))
            web = frame_png(os.path.join(shots, 'loss-200.png'))
            desk = pictures.read_png(os.path.join(folder, 'loss-200.png'))
            check(wipe_depth(web) > 60, '%s: the wipe is gone after the restore (%.0f)' %
                  (look, wipe_depth(web)))
            similar(web, desk, '%s: frame 200 after the restore' % look)
            window = pictures.read_png(os.path.join(shots, 'window-200.png'))
            shown = wipe_depth(window, in_window(window, STROKE_BOX), in_window(window, FOG_BOX))
            check(shown > 60, '%s: the window shows no wipe after the restore (%.0f)' % (look, shown))

    def storage():
        # A full store: the chosen picture is not kept, said in one line, and the copy ends
        # (the report waits for it).
        origin = suite.server.url('')

        def full(devtools):
            devtools.page('Storage.overrideQuotaForOrigin', origin=origin, quotaSize=1)
        script = suite.script('full.script', ['1 button 1', '3 pick photo-turned.jpg'])
        result, _ = suite.browser('full', script, 30, files=['photo-turned.jpg'], before=full)
        said = [line for line in result['log'] if line.startswith('Not kept: ')]
        check(said and all(line == "Not kept: the browser's storage is full" for line in said),
              'a full store was not said so: %s' % result['log'])
        check(result['frames'] == 30, 'the run stopped at frame %d' % result['frames'])
        # No IndexedDB at all: the toy starts, runs, and says so once.
        result, _ = suite.browser('no-storage', script, 30, {'storage': 'none'},
                                  files=['photo-turned.jpg'])
        said = [line for line in result['log'] if 'keeps nothing between visits' in line]
        check(len(said) == 1, 'said %d times without IndexedDB: %s' % (len(said), result['log']))
        check(result['frames'] == 30 and result['status']['storage'] == 0,
              'without IndexedDB: %d frames, storage %s' % (result['frames'],
                                                          result['status']['storage']))

    def life_cycle():
        profile = tempfile.mkdtemp(dir=suite.work, prefix='profile-')
        page = webpage.DevTools(profile, ['--window-size=320,480'] + FAKE_MICROPHONE,
                                os.path.join(suite.work, 'life.log'))
        try:
            page.open(suite.server.url('/brumelo.html?seed=1'))
            check(page.wait_for("Module.framesShown >= 50", 60), 'the page never ran')
            check(page.evaluate('Brumelo.mic.wanted && !Brumelo.mic.live && !Brumelo.mic.asking'),
                  'the microphone was asked for before any touch')
            page.press()
            check(page.wait_for('Brumelo.mic.live'), 'the first touch did not open the microphone')
            sound = "Brumelo.audioContexts().length == 2 && Brumelo.audioContexts().every(" \
                    "c => c.state == '%s')"
            page.evaluate(SHOWN % ('true', 'true'))
            check(page.wait_for('!Brumelo.mic.stream && ' + sound % 'suspended'),
                  'hidden, the page keeps the microphone or plays on')
            page.evaluate(SHOWN % ('false', 'false'))
            check(page.wait_for('Brumelo.mic.live && ' + sound % 'running'),
                  'shown again, the page has no microphone or no sound')
            # The system takes the microphone (a call): it comes back at the next touch.
            page.evaluate("Brumelo.mic.stream.getAudioTracks()[0].dispatchEvent(new Event('ended'))")
            check(page.wait_for('!Brumelo.mic.live'), 'a microphone taken away still counts as live')
            page.press()
            check(page.wait_for('Brumelo.mic.live'), 'the microphone did not come back')
        finally:
            page.close()

    def page_server():
        serve = webpage.serve_web()
        folder = tempfile.mkdtemp(dir=suite.work, prefix='serve-')
        cert = serve.certificate('192.0.2.7', folder)
        text = subprocess.run(['openssl', 'x509', '-in', cert, '-noout', '-ext', 'subjectAltName'],
                              capture_output=True, text=True).stdout
        check('DNS:localhost' in text and '192.0.2.7' in text, 'the certificate names: %s' % text)
        check(serve.certificate_fits(cert, serve.certificate_names('192.0.2.7')),
              'a fresh certificate would be made again')
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(cert)
        server = serve.make_server('127.0.0.1', 0, suite.page, tls)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        port = server.server_address[1]
        silent = socket.create_connection(('127.0.0.1', port))
        try:
            client = ssl.create_default_context(cafile=cert)

            def get(path, gzip=False):
                request = urllib.request.Request('https://localhost:%d%s' % (port, path))
                if gzip:
                    request.add_header('Accept-Encoding', 'gzip')
                try:
                    with urllib.request.urlopen(request, context=client, timeout=10) as r:
                        return r.status, r.headers, r.read()
                except urllib.error.HTTPError as e:
                    return e.code, e.headers, b''

            # Answered while a connection that never says a word is open.
            status, headers, body = get('/brumelo.js', gzip=True)
            check(status == 200 and headers['Content-Encoding'] == 'gzip',
                  'brumelo.js: %s %s' % (status, headers.get('Content-Encoding')))
            check(len(body) < os.path.getsize(os.path.join(suite.page, 'brumelo.js')) / 2,
                  'brumelo.js is not compressed')
            csp = headers['Content-Security-Policy'] or ''
            check("'unsafe-inline'" not in csp and "'wasm-unsafe-eval'" in csp, 'CSP: %s' % csp)
            for path in ('/Makefile', '/CMakeFiles/', '/cmake_install.cmake', '/../CMakeCache.txt',
                         '/%2e%2e/CMakeCache.txt', '/brumelo.html/'):
                check(get(path)[0] == 404, '%s is served' % path)
        finally:
            silent.close()
            server.shutdown()
            server.server_close()

    def phone_shape():
        # A 19.5:9 phone's page (headless windows are at least 500 CSS pixels wide, and lose
        # some height to the window): the pane is 320 points wide and as high as the page's
        # shape makes it, and fills the page, no bars.
        lines = ['1 button 0'] + stroke(1, (40, 600), (280, 600), 5, 30)
        lines += ['40 screenshot phone-40.png']
        script = suite.script('phone.script', lines)
        result, shots = suite.browser('phone', script, 41, {'capture': 40, 'pane': None},
                                      window=(500, 1224))
        cw, ch = result['status']['canvas']
        check(ch / cw > 2, 'the page is %d x %d, not a tall phone\'s' % (cw, ch))
        pane = 2 * round(320 * ch / cw / 2)
        frame = pictures.read_png(os.path.join(shots, 'phone-40.png'))
        check(abs(frame.height / frame.width - pane / 320) < 0.01,
              'the frame is %d x %d, not the 320 x %d pane of a %d x %d page' %
              (frame.width, frame.height, pane, cw, ch))
        window = pictures.read_png(os.path.join(shots, 'window-40.png'))
        w, h = window.width, window.height
        for where, box in (('top', (0, 0, w, 2)), ('bottom', (0, h - 2, w, h)),
                           ('left', (0, 0, 2, h)), ('right', (w - 2, 0, w, h))):
            check(window.luminance(*box) > 60, 'black at the %s of the page (%.0f)' %
                  (where, window.luminance(*box)))
        # The stroke below where the phone's pane ended wiped the steam there.
        s = frame.width / 320
        wiped = frame.luminance(60 * s, 594 * s, 260 * s, 606 * s)
        fog = frame.luminance(60 * s, 530 * s, 260 * s, 560 * s)
        check(abs(wiped - fog) > 15, 'no wipe at 600 points (%.0f against %.0f)' % (wiped, fog))

    def offline():
        script = suite.script('offline.script', ['1 button 0', '5 screenshot offline-5.png'])
        profile = tempfile.mkdtemp(dir=suite.work, prefix='profile-')
        first, _ = suite.browser('online', script, 6, profile=profile)
        # A new build served: another version in the page and its worker.
        newer = os.path.join(suite.work, 'newer-page')
        shutil.rmtree(newer, ignore_errors=True)
        shutil.copytree(suite.page, newer)
        version = first['version']
        for name in ('brumelo.html', 'sw.js'):
            with open(os.path.join(newer, name)) as f:
                text = f.read()
            with open(os.path.join(newer, name), 'w') as f:
                f.write(text.replace(version, 'newer-' + version[6:]))
        suite.server.root = newer
        try:
            result, _ = suite.browser('newer', script, 6, profile=profile)
            check(result['version'] == 'newer-' + version[6:],
                  'a new build did not start at the next visit (%s)' % result['version'])
            suite.server.offline = True
            result, shots = suite.browser('offline', script, 6, profile=profile)
        finally:
            suite.server.offline = False
            suite.server.root = suite.page
        check(result['offline'], 'the second visit was not served by the service worker')
        check(result['version'] == 'newer-' + version[6:],
              'the offline visit ran an older build (%s)' % result['version'])
        check(os.path.exists(os.path.join(shots, 'offline-5.png')), 'the offline visit drew nothing')
        # The sounds come after the first frame, from the kept files too.
        loaded = [t for t in result['status']['tracks'] if t]
        check(len(loaded) == 4, 'the offline visit has no wipe sounds: %s' % result['status']['tracks'])

    def devtools(name):
        profile = tempfile.mkdtemp(dir=suite.work, prefix='profile-')
        return webpage.DevTools(profile, ['--window-size=320,480'],
                                os.path.join(suite.work, name + '.log'))

    def installable():
        chrome = devtools('install')
        try:
            chrome.open(suite.server.url('/brumelo.html'))
            check(chrome.wait_for("document.body.classList.contains('running')"),
                  'the page did not start')
            errors = None
            # The check reads the manifest and its icons as they arrive.
            deadline = time.time() + 90
            while True:
                errors = chrome.page('Page.getInstallabilityErrors')['installabilityErrors']
                if not errors or time.time() > deadline:
                    break
                time.sleep(0.2)
            check(not errors, 'not installable: %s' % [e['errorId'] for e in errors])
            manifest = chrome.page('Page.getAppManifest')
            check(not manifest.get('errors'), 'the manifest: %s' % manifest.get('errors'))
            # A phone held sideways: the toy keeps its upright shape, as tall as the screen,
            # and says how it is meant to be held.
            chrome.page('Emulation.setDeviceMetricsOverride', width=844, height=390,
                        deviceScaleFactor=1, mobile=True,
                        screenOrientation={'type': 'landscapePrimary', 'angle': 90})
            chrome.page('Emulation.setTouchEmulationEnabled', enabled=True, maxTouchPoints=5)
            check(chrome.wait_for("getComputedStyle(document.getElementById('turn')).display "
                                  "== 'block' && innerWidth == 844"), 'no word on turning the phone')
            shot = os.path.join(suite.work, 'landscape.png')
            # The frame is shown after the resize; its first pixels arrive with a later frame.
            deadline = time.time() + 90
            while True:
                chrome.screenshot(shot)
                picture = pictures.read_png(shot)
                lit = [x for x in range(picture.width) if sum(picture.pixel(x, 100)) > 30]
                if lit and 250 <= lit[-1] - lit[0] + 1 <= 270 or time.time() > deadline:
                    break
                time.sleep(0.1)
            check(lit and 250 <= lit[-1] - lit[0] + 1 <= 270 and
                  abs((lit[0] + lit[-1]) / 2 - 422) < 4,
                  'sideways, the toy spans columns %s to %s of 844' %
                  (lit and lit[0], lit and lit[-1]))
        finally:
            chrome.close()

    # The loading bar's widths as the page set them, watched from before its first script.
    watch = ("window.widths = []; new MutationObserver(function() {"
             "  var done = document.getElementById('done');"
             "  if (done && widths[widths.length - 1] !== done.style.width)"
             "    widths.push(done.style.width);"
             "}).observe(document, {subtree: true, attributes: true, attributeFilter: ['style']});")

    def loading():
        chrome = devtools('loading')
        try:
            chrome.page('Page.addScriptToEvaluateOnNewDocument', source=watch)
            chrome.open(suite.server.url('/brumelo.html'))
            check(chrome.wait_for("document.body.classList.contains('running')"),
                  'the page did not start')
            widths = [float(w.rstrip('%')) for w in chrome.evaluate('widths') if w]
            check(widths and widths[-1] == 100 and any(0 < w < 100 for w in widths),
                  'the bar showed no progress: %s' % widths)
            # A first visit started on the photo's stand-in: the whole photo, once in, is taken
            # for the glass, and the shipped background stored as a first launch stores it.
            check(chrome.wait_for("FS.analyzePath('/data/CustomBG.png').exists && "
                                  "FS.analyzePath('/resources/window-view.jpg').exists && "
                                  "Brumelo.decoded.length == 0", 60),
                  'the whole photo or the shipped background was not taken after the start')
            if suite.keep:
                chrome.screenshot(os.path.join(suite.work, 'loaded.png'))
        finally:
            chrome.close()
        # In browsers of their own: the first kept the files for offline visits.
        for missing in ('brumelo.wasm', 'brumelo.data', 'brumelo.js'):
            suite.server.missing = {missing}
            chrome = devtools('without-' + missing)
            try:
                chrome.open(suite.server.url('/brumelo.html'))
                said = chrome.wait_for("document.body.classList.contains('failed') && "
                                       "document.getElementById('what').textContent", 30)
                check(said and missing in said, 'without %s the page says %r' % (missing, said))
                if suite.keep:
                    chrome.screenshot(os.path.join(suite.work, 'without-%s.png' % missing))
            finally:
                suite.server.missing = set()
                chrome.close()

    for engine in engines:
        suite.engine = engine
        everywhere = engine == 'chromium'
        suite.case('frames like the desktop: wipe, droplets, sounds, the menu', frames)
        if everywhere:
            suite.case('a phone-shaped page is all pane', phone_shape)
            suite.case('tilt moves the droplets', tilt)
            suite.case('tilt on every engine: upright and turned left, drops fall down',
                       tilt_engines)
            suite.case('a loud microphone blows', blow)
            suite.case('life: the microphone at the first touch, let go while hidden, sound '
                       'suspended', life_cycle)
            suite.case('storage: full, or none at all, is said and the toy runs on', storage)
            suite.case('the page\'s server: its files only, gzip, a CSP, TLS beside a silent '
                       'client', page_server)
            suite.case('a lost WebGL context comes back as it was, in both looks', context_loss)
        suite.case('a picked file that is no picture', not_a_picture)
        suite.case('the live camera behind the steam, and a refused one', live_camera)
        if everywhere:
            suite.case('a corrupt stored background counts as absent', corrupt_background)
        suite.case('the chosen picture is kept for the next visit', next_visit)
        suite.case('a 25-megapixel photo is decoded at the size needed', large_photo)
        suite.case('a new build starts at the next visit, and a visit works offline', offline)
        if everywhere:
            suite.case('the page is installable', installable)
            suite.case('loading shows its progress, and a failed download says so', loading)
    suite.server.close()
    if suite.xvfb:
        suite.xvfb.close()
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    print('%d browser runs, %s' % (suite.runs, 'all passed' if not suite.failures
                                    else '%d failed' % suite.failures))
    return 1 if suite.failures else 0


if __name__ == '__main__':
    sys.exit(main())
