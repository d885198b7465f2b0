#!/usr/bin/env python3
"""End-to-end checks of Tomewright.exe: the real program under Wine on its own Xvfb display,
driven with real X input (xdotool) and a real file manager (xfe) as the drag source.

usage: e2e.py --app EXE --converter EXE --probe EXE --corpus DIR --work DIR SCENARIO...
"""

import argparse
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import traceback

import x11

MAIN_CAPTION = 'Tomewright v1.0.0.4 (Larkfield)'
BOX_CAPTION = 'Tomewright'  # the default title: the executable's name
ABOUT_CAPTION = '关于 Tomewright'
MISSING_CONVERTER = 'kindlegen.exe 不存在，请将该程序文件放到 Tools 目录下。'
CONVERTING = '正在转换 '
SUCCEEDED = '转换成功！'
ID_CLOSE, ID_LIST, ID_ABOUT = 1, 1001, 1002

SCREEN = (1600, 1200)
# Geometry of xfe's file list with a fresh configuration in one-panel mode at its default size:
# the centre of the ".." row and the height of a row. Checked by what arrives in the program's list.
XFE_SIZE = (800, 600)
XFE_FIRST_ROW_Y = 186
XFE_ROW_HEIGHT = 23
XFE_NAME_X = 60
# xfe would take a second press on the same row within its double-click time for "open".
DOUBLE_CLICK_GUARD_S = 0.6

WINDOW_TIMEOUT_MS = 30000
EXIT_TIMEOUT_S = 20
CONVERSION_TIMEOUT_MS = 180000
SCENARIO_BUDGET_S = 280


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def wine_for(exe):
    """The Wine loader, prefix kind and wineboot command for a program. A PE32+ one needs the
    64-bit loader: Debian's `wine` always takes the 32-bit one, which cannot start where the
    kernel runs no 32-bit code."""
    with open(exe, 'rb') as program:
        head = program.read(4096)
    machine = struct.unpack_from('<H', head, struct.unpack_from('<I', head, 0x3c)[0] + 4)[0]
    if machine == 0x8664:
        loader = shutil.which('wine64') or '/usr/lib/wine/wine64'
        return loader, 'win64', [loader, 'wineboot']
    return 'wine', 'win32', ['wineboot']


def windows_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


class Session:
    """One Xvfb display and one Wine server for one scenario; everything started here is ended here."""

    def __init__(self, options, name):
        self.options = options
        self.name = name
        self.children = []
        self.xvfb = None
        self.temp = tempfile.mkdtemp(prefix='tomewright-e2e-')
        self.env = dict(os.environ)
        self.wine, self.arch, self.wineboot = wine_for(options.app)

    def __enter__(self):
        self._start_xvfb()
        prefix = os.path.join(os.path.abspath(self.options.work), 'wineprefix')
        home = os.path.join(self.temp, 'home')
        os.makedirs(home)
        self.env.update(WINEPREFIX=prefix, WINEDEBUG='-all', WINEDLLOVERRIDES='mscoree,mshtml=',
                        LC_ALL='zh_CN.UTF-8', WINEARCH=self.arch, HOME=home)
        if self.arch == 'win64':
            self.env['WINELOADER'] = self.wine
        self.env.pop('XAUTHORITY', None)
        self._prepare_prefix(prefix)
        # A leftover server from an aborted run would still talk to a display that is gone.
        subprocess.run(['wineserver', '-k'], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(['wineserver', '-p'], env=self.env, check=True)
        return self

    def __exit__(self, kind, value, trace):
        if kind is not None:
            self._keep_evidence()
        for child in reversed(self.children):
            if child.poll() is None:
                child.kill()
                child.wait()
        subprocess.run(['wineserver', '-k'], env=self.env, stderr=subprocess.DEVNULL)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()
        shutil.rmtree(self.temp, ignore_errors=True)
        return False

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', '%dx%dx24' % SCREEN,
             '-nolisten', 'tcp', '-noreset'],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        expect(number, 'Xvfb did not start')
        self.env['DISPLAY'] = ':' + number

    def _prepare_prefix(self, prefix):
        ready = os.path.join(prefix, '.tomewright-e2e-ready')
        if os.path.exists(ready):
            return
        os.makedirs(prefix, exist_ok=True)
        subprocess.run(self.wineboot + ['-i'], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # A crash must fail the test, not wait for a click on a dialog.
        subprocess.run([self.wine, 'reg', 'add', r'HKCU\Software\Wine\WineDbg', '/v', 'ShowCrashDialog',
                        '/t', 'REG_DWORD', '/d', '0', '/f'], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(['wineserver', '-w'], env=self.env)
        # Caption buttons are drawn with Marlett, which Debian ships outside the prefix.
        marlett = '/usr/share/wine/fonts/marlett.ttf'
        if os.path.exists(marlett):
            fonts = os.path.join(prefix, 'drive_c', 'windows', 'Fonts')
            os.makedirs(fonts, exist_ok=True)
            shutil.copy(marlett, fonts)
        open(ready, 'w').close()

    def _keep_evidence(self):
        shot = os.path.join(os.path.abspath(self.options.work), self.name + '-failure.png')
        subprocess.run(['import', '-window', 'root', shot], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
        print('screen at failure: ' + shot)
        print('windows at failure:\n' + self.probe('windows', check=False))

    # --- tools -------------------------------------------------------------------------------

    def spawn(self, argv, cwd=None, env=None):
        child = subprocess.Popen(argv, cwd=cwd, env=env or self.env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.children.append(child)
        return child

    def probe(self, *args, check=True):
        result = subprocess.run([self.wine, self.options.probe] + [str(a) for a in args], env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=240)
        output = result.stdout.decode('utf-8', 'replace')
        if check and result.returncode != 0:
            raise Failure('probe %s failed (%d):\n%s' % (' '.join(map(str, args)), result.returncode, output))
        return output

    def xdotool(self, *args):
        result = subprocess.run(['xdotool'] + [str(a) for a in args], env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
        return result.stdout.decode('utf-8', 'replace').split()

    def x_window(self, title_pattern, timeout_s=WINDOW_TIMEOUT_MS / 1000):
        deadline = time.monotonic() + timeout_s
        while True:
            found = self.xdotool('search', '--onlyvisible', '--name', title_pattern)
            if found:
                return found[0]
            expect(time.monotonic() < deadline, 'no X window named ' + title_pattern)
            time.sleep(0.1)

    def press(self, x_window, *keys):
        self.xdotool('windowfocus', '--sync', x_window, 'key', *keys)

    def click(self, x, y):
        self.xdotool('mousemove', '--sync', x, y, 'click', 1)

    def poll(self, ready, timeout_ms, what):
        deadline = time.monotonic() + timeout_ms / 1000
        while True:
            found = ready()
            if found:
                return found
            expect(time.monotonic() < deadline, what() if callable(what) else what)
            time.sleep(0.05)

    def windows(self):
        rows = [line.split('\t') for line in self.probe('windows').splitlines()]
        return [row for row in rows if len(row) == 4]

    def find_window(self, caption, timeout_ms=WINDOW_TIMEOUT_MS):
        return self.poll(lambda: next((row[0] for row in self.windows() if row[1] == '1' and row[3] == caption), None),
                         timeout_ms, 'no window named ' + caption)

    def wait_gone(self, hwnd, timeout_ms=WINDOW_TIMEOUT_MS):
        self.poll(lambda: all(row[0] != hwnd for row in self.windows()), timeout_ms, 'window %s stayed' % hwnd)

    def visible_windows(self):
        return [(row[2], row[3]) for row in self.windows() if row[1] == '1']

    def rect(self, hwnd, control=None):
        args = ['rect', hwnd] + ([control] if control is not None else [])
        return [int(v) for v in self.probe(*args).split()]

    def centre(self, hwnd, control=None):
        left, top, right, bottom = self.rect(hwnd, control)
        return (left + right) // 2, (top + bottom) // 2

    def list_lines(self, hwnd, count, timeout_ms=CONVERSION_TIMEOUT_MS):
        seen = []

        def full():
            seen[:] = self.probe('list', hwnd).splitlines()
            return len(seen) >= count

        self.poll(full, timeout_ms, lambda: 'the list holds only:\n' + '\n'.join(seen))
        return seen

    def screenshot(self, path):
        subprocess.run(['import', '-window', 'root', path], env=self.env, check=True, timeout=20)

    # --- the program ---------------------------------------------------------------------------

    def install_app(self, with_converter=True):
        folder = os.path.join(self.temp, 'Tomewright app')
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, 'Tools'))
        shutil.copy(self.options.app, os.path.join(folder, 'Tomewright.exe'))
        if with_converter:
            shutil.copy(self.options.converter, os.path.join(folder, 'Tools', 'kindlegen.exe'))
        return folder

    def start_app(self, folder):
        return self.spawn([self.wine, os.path.join(folder, 'Tomewright.exe')], cwd=folder)

    def start_main_window(self, with_converter=True):
        app = self.start_app(self.install_app(with_converter))
        hwnd = self.find_window(MAIN_CAPTION)
        x_window = self.x_window('^' + re.escape(MAIN_CAPTION) + '$')
        return app, hwnd, x_window

    def wait_exit(self, app, what):
        try:
            app.wait(timeout=EXIT_TIMEOUT_S)
        except subprocess.TimeoutExpired:
            raise Failure(what + ': the program did not end')

    # --- the file manager -----------------------------------------------------------------------

    def open_file_manager(self, folder, top):
        xfe = self.spawn(['xfe', '-p', '1', folder])
        if os.geteuid() == 0:
            # As root xfe first warns, in a box of its own that takes the focus from nothing.
            self.press(self.x_window('^Warning$'), 'Return')
        window = self.x_window('^Xfe ')
        # Resizing would make xfe lay out anew, after our clicks perhaps; so keep its own size.
        geometry = self.xdotool('getwindowgeometry', '--shell', window)
        expect('WIDTH=%d' % XFE_SIZE[0] in geometry and 'HEIGHT=%d' % XFE_SIZE[1] in geometry,
               'xfe opened with an unexpected size: %r' % geometry)
        self.xdotool('windowmove', '--sync', window, 0, top)
        return xfe, top

    def wait_row_drawn(self, y):
        """Waits until a file-list row shows more than the plain background."""
        deadline = time.monotonic() + WINDOW_TIMEOUT_MS / 1000
        while True:
            result = subprocess.run(['import', '-window', 'root', '-crop', '160x10+4+%d' % (y - 5),
                                     '-format', '%k', 'info:'], env=self.env, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, timeout=30)
            if int(result.stdout.strip() or 0) > 1:
                return
            expect(time.monotonic() < deadline, 'xfe did not show its rows')
            time.sleep(0.1)

    def drag_rows(self, manager, rows, target):
        """Selects the rows (1 is the first entry after "..") and drags them onto target."""
        _, top = manager

        def row_y(row):
            return top + XFE_FIRST_ROW_Y + row * XFE_ROW_HEIGHT

        self.wait_row_drawn(row_y(max(rows)))
        self.click(XFE_NAME_X, row_y(rows[0]))
        if len(rows) > 1:
            self.xdotool('keydown', 'ctrl')
            for row in rows[1:]:
                self.click(XFE_NAME_X, row_y(row))
            self.xdotool('keyup', 'ctrl')
        time.sleep(DOUBLE_CLICK_GUARD_S)
        start_x, start_y = XFE_NAME_X, row_y(rows[0])
        self.xdotool('mousemove', '--sync', start_x, start_y, 'mousedown', 1)
        steps = 8
        for step in range(1, steps + 1):
            x = start_x + (target[0] - start_x) * step // steps
            y = start_y + (target[1] - start_y) * step // steps
            self.xdotool('mousemove', '--sync', x, y)
            time.sleep(0.05)
        self.xdotool('mouseup', 1)

    def close_file_manager(self, manager):
        xfe, _ = manager
        xfe.kill()
        xfe.wait()


# --- scenarios -----------------------------------------------------------------------------------

def startup_without_converter(session):
    app = session.start_app(session.install_app(with_converter=False))
    box = session.find_window(BOX_CAPTION)
    texts = session.probe('texts', box).splitlines()
    expect(any(line.endswith('\t' + MISSING_CONVERTER) for line in texts),
           'missing-converter text not in the box:\n' + '\n'.join(texts))
    buttons = [line for line in texts if '\tButton\t' in line]
    expect(buttons == ['%d\tButton\t确定' % ID_CLOSE], 'the box should offer OK only: %r' % buttons)
    visible = session.visible_windows()
    expect(visible == [('#32770', BOX_CAPTION)], 'only the box may be visible: %r' % visible)
    expect(MAIN_CAPTION not in session.probe('windows'), 'a main window exists')
    session.press(session.x_window('^Tomewright$'), 'Return')
    session.wait_exit(app, 'after the missing-converter box')


TEXT = '第一行 first line\n第二行 second line\n'.encode('gbk')
USER_HTM = b'<html><body><p>the user\'s own page, not ours to delete</p></body></html>\n'


def html_page(title):
    return ('<html><head><title>%s</title></head><body><p>第一章 Chapter one</p></body></html>\n'
            % title).encode('utf-8')


def make_books(folder, files):
    os.makedirs(folder)
    for name, content in files.items():
        with open(os.path.join(folder, name), 'wb') as out:
            out.write(content)
    return folder


def sample_epub(corpus):
    with open(os.path.join(corpus, 'wasteland.epub'), 'rb') as book:
        return book.read()


def is_mobi(path):
    with open(path, 'rb') as book:
        return book.read(68)[60:68] == b'BOOKMOBI'


def parts_read_back(mobi):
    """The texts of a joint book's MOBI 6 and KF8 parts as libmobi reads them, or None where
    mobitool is not installed."""
    if shutil.which('mobitool') is None:
        return None
    info = subprocess.run(['mobitool', mobi], capture_output=True).stdout.decode('utf-8', 'replace')
    expect('hybrid with version 6' in info, '%s is not a joint MOBI 6 + KF8 file' % mobi)
    texts = []
    for part in (['-7'], []):
        with tempfile.TemporaryDirectory() as out:
            done = subprocess.run(['mobitool'] + part + ['-d', '-o', out, mobi], capture_output=True)
            expect(done.returncode == 0, 'mobitool cannot read %s: %s' % (mobi, done.stdout[-500:]))
            stem = os.path.splitext(os.path.basename(mobi))[0]
            with open(os.path.join(out, stem + '.rawml'), 'rb') as rawml:
                texts.append(rawml.read().decode('utf-8'))
    return texts


def expect_converted(folder, stems, texts=None):
    for stem in stems:
        mobi = os.path.join(folder, stem + '.mobi')
        expect(os.path.isfile(mobi) and is_mobi(mobi), 'no MOBI output ' + mobi)
        parts = parts_read_back(mobi)
        for wanted in (texts or {}).get(stem, []):
            for part in parts or []:
                expect(wanted in part, '%s lacks %r in one of its parts' % (mobi, wanted))


def answer_box(session, text):
    box = session.find_window(BOX_CAPTION, CONVERSION_TIMEOUT_MS)
    texts = session.probe('texts', box)
    expect(text in [line.split('\t')[-1] for line in texts.splitlines()[1:]],
           'expected a box saying %s, got:\n%s' % (text, texts))
    session.press(session.x_window('^Tomewright$'), 'Return')
    session.wait_gone(box)


def converted_lines(folder, results):
    lines = []
    for name, result in results:
        lines += [CONVERTING + windows_path(os.path.join(folder, name)), result]
    return lines


def expect_lines(lines, expected, when):
    expect(lines == expected, 'list %s:\n%s\nexpected:\n%s' % (when, '\n'.join(lines), '\n'.join(expected)))


def drop_from_file_manager(session):
    app, hwnd, x_main = session.start_main_window()
    session.xdotool('windowmove', '--sync', x_main, 20, 20)
    _, _, _, bottom = session.rect(hwnd)
    target = session.centre(hwnd, ID_LIST)
    xfe_top = bottom + 20
    expect(xfe_top + XFE_SIZE[1] <= SCREEN[1], 'no room below the window for the file manager')
    epub = sample_epub(session.options.corpus)

    # Text, EPUB and HTML under a Chinese name, beside a page of the user's that shares the text's
    # name and a stale output. Rows in xfe's name order: a.htm a.mobi a.txt b.epub c….
    first = make_books(os.path.join(session.temp, 'books'), {
        'a.htm': USER_HTM, 'a.mobi': b'stale', 'a.txt': TEXT, 'b.epub': epub,
        'c 中文.html': html_page('中文')})
    manager = session.open_file_manager(first, xfe_top)
    session.drag_rows(manager, [3, 4, 5], target)
    expected = converted_lines(first, [('a.txt', SUCCEEDED), ('b.epub', SUCCEEDED), ('c 中文.html', SUCCEEDED)])
    expect_lines(session.list_lines(hwnd, len(expected)), expected, 'after the first drop')
    expect_converted(first, ['a', 'b', 'c 中文'], {'a': ['第一行 first line', '第二行 second line']})
    with open(os.path.join(first, 'a.htm'), 'rb') as page:
        expect(page.read() == USER_HTM, "the user's a.htm was changed")
    session.screenshot(os.path.join(os.path.abspath(session.options.work), 'drop-result.png'))
    session.close_file_manager(manager)

    # A book the converter cannot read fails and the batch goes on; a refused type ends it there.
    second = make_books(os.path.join(session.temp, 'more'), {
        'd broken.epub': b'not a zip', 'e.txt': TEXT, 'f.doc': b'doc', 'g.html': html_page('g')})
    manager = session.open_file_manager(second, xfe_top)
    session.drag_rows(manager, [1, 2, 3, 4], target)
    answer_box(session, '转换失败！未找到转换后的文件。')
    answer_box(session, '不支持的文件类型(doc)！')
    expected = converted_lines(second, [('d broken.epub', '转换失败！'), ('e.txt', SUCCEEDED)])
    expect_lines(session.list_lines(hwnd, len(expected)), expected, 'after the second drop')
    expect_converted(second, ['e'])
    for left_alone in ('d broken.mobi', 'g.mobi', 'e.htm'):
        expect(not os.path.exists(os.path.join(second, left_alone)), left_alone + ' should not exist')
    expect(app.poll() is None, 'the program ended during the drops')


def expect_about_box(session):
    about = session.find_window(ABOUT_CAPTION)
    texts = session.probe('texts', about)
    expect('\tTomewright v1.0.0.4' in texts and '%d\tButton\t确定' % ID_CLOSE in texts,
           'unexpected About box:\n' + texts)
    return about, session.x_window('^' + ABOUT_CAPTION + '$')


def about_box(session):
    app, hwnd, x_main = session.start_main_window()
    session.click(*session.centre(hwnd, ID_ABOUT))
    about, x_about = expect_about_box(session)
    session.press(x_about, 'Return')
    session.wait_gone(about)

    # Our entry is the last one of the system menu (Wine's own entries come first).
    session.press(x_main, 'alt+space')
    deadline = time.monotonic() + WINDOW_TIMEOUT_MS / 1000
    while ('#32768', '') not in session.visible_windows():
        expect(time.monotonic() < deadline, 'the system menu did not open')
        time.sleep(0.1)
    session.screenshot(os.path.join(os.path.abspath(session.options.work), 'system-menu.png'))
    session.xdotool('key', 'Up', 'Return')
    about, x_about = expect_about_box(session)
    session.press(x_about, 'Escape')
    session.wait_gone(about)
    expect(app.poll() is None, 'the program ended with the About box')


def closing(session):
    def by_key(key):
        return lambda hwnd, x_window: session.press(x_window, key)

    ways = {
        'Escape': by_key('Escape'),
        'Enter': by_key('Return'),
        'Close button': lambda hwnd, x_window: session.click(*session.centre(hwnd, ID_CLOSE)),
        # What a window manager sends when the caption's close box is clicked.
        'close box': lambda hwnd, x_window: x11.close_window(session.env['DISPLAY'], int(x_window)),
    }
    for what, close in ways.items():
        app, hwnd, x_window = session.start_main_window()
        close(hwnd, x_window)
        session.wait_exit(app, what)
        expect(session.visible_windows() == [], what + ': windows left: %r' % session.visible_windows())


SCENARIOS = {
    'startup_without_converter': startup_without_converter,
    'drop_from_file_manager': drop_from_file_manager,
    'about_box': about_box,
    'closing': closing,
}


def on_signal(number, frame):
    raise Failure('stopped by signal %d' % number)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--app', required=True)
    parser.add_argument('--converter', required=True)
    parser.add_argument('--probe', required=True)
    parser.add_argument('--corpus', required=True)
    parser.add_argument('--work', required=True)
    parser.add_argument('scenarios', nargs='+', choices=sorted(SCENARIOS))
    options = parser.parse_args()
    for path in (options.app, options.converter, options.probe):
        if not os.path.isfile(path):
            print('missing: ' + path)
            return 1
    os.makedirs(options.work, exist_ok=True)
    # Cleaning up needs the interpreter alive: turn a timeout or kill request into an exception.
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGALRM, on_signal)
    failed = 0
    for name in options.scenarios:
        started = time.monotonic()
        signal.alarm(SCENARIO_BUDGET_S)
        try:
            with Session(options, name) as session:
                SCENARIOS[name](session)
            print('PASS %s (%.1f s)' % (name, time.monotonic() - started))
        except Exception:
            failed += 1
            traceback.print_exc()
            print('FAIL %s (%.1f s)' % (name, time.monotonic() - started))
        finally:
            signal.alarm(0)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
