#!/usr/bin/env python3
"""Keeps README.md true to the program it describes.

Checks that the keys table lists exactly the hotkeys the main window
registers, that the settings, the menu items, the log file and the texts the
README quotes are the program's own, and that every file it links and every
script it names exists (scripts executable, pictures small PNGs).

    python3 tests/docs/test_readme.py [-v]

Prints the failures on stderr and, as its last line on stdout, the two
numbers "PASSED FAILED" for scripts/test. Python standard library only.
"""

import io
import os
import re
import shutil
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
README = os.path.join(ROOT, "README.md")
PRODUCT_DIRS = ("shell", "log", "model", "switcher", "editing", "platform/win32")
MAX_PICTURE_BYTES = 100 * 1024

MODIFIERS = {"Alt": "MOD_ALT", "Shift": "MOD_SHIFT", "Ctrl": "MOD_CONTROL"}
KEYS = {"Tab": "VK_TAB", "Up": "VK_UP", "Down": "VK_DOWN", "Insert": "VK_INSERT", "Delete": "VK_DELETE",
        "Esc": "VK_ESCAPE"}
COMMANDS = ("cmake", "wine", "reg", "python3", "ctest")


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def product_sources(root=ROOT):
    """The text of every product source file, keyed by its path."""
    sources = {}
    for folder in PRODUCT_DIRS:
        base = os.path.join(root, folder)
        if not os.path.isdir(base):
            continue
        for name in sorted(os.listdir(base)):
            if name.endswith((".cpp", ".h")):
                sources[os.path.join(folder, name)] = read(os.path.join(base, name))
    return sources


def string_literals(code):
    """Wide or PLR_T string literals, adjacent pieces joined as the compiler joins them."""
    piece = r'(?:L|PLR_T\()?"((?:[^"\\\n]|\\.)*)"\)?'
    out = []
    for run in re.finditer(rf"(?:{piece}\s*)+", code):
        out.append("".join(m.group(1) for m in re.finditer(piece, run.group(0))))
    return out


# ----- reading the README ----------------------------------------------------
def section(text, title):
    """The body of the '## title' section (up to the next heading of level 2)."""
    match = re.search(rf"^## {re.escape(title)}\s*$(.*?)(?=^## |\Z)", text, re.M | re.S)
    return match.group(1) if match else ""


def table_first_cells(body):
    cells = []
    for line in body.splitlines():
        if not line.startswith("|") or re.match(r"^\|\s*-", line):
            continue
        cells.append(line.split("|")[1].strip())
    return cells[1:]  # without the header row


def code_lines(text):
    """Lines of indented and fenced code blocks, stripped."""
    lines, fenced = [], False
    for line in text.splitlines():
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        if fenced or (line.startswith("    ") and line.strip() and not line.lstrip().startswith(("|", "-"))):
            lines.append(line.strip())
    return lines


def is_command(line):
    first = line.split()[0]
    return "/" in first or first in COMMANDS


# ----- the checks: each returns a list of problems -----------------------------
def readme_hotkeys(text):
    found, problems = set(), []
    for cell in table_first_cells(section(text, "Keys")):
        for combo in re.findall(r"\bAlt(?:\+\w+)+", cell):
            *mods, key = combo.split("+")
            if key not in KEYS or any(m not in MODIFIERS for m in mods):
                problems.append(f"the keys table names {combo}, which no hotkey can be")
                continue
            found.add((frozenset(MODIFIERS[m] for m in mods), KEYS[key]))
    return found, problems


def code_hotkeys(sources):
    found = set()
    for code in sources.values():
        for mods, key in re.findall(r"\{\s*kHotkey\w+\s*,\s*([A-Z_ |]+?)\s*,\s*(VK_\w+)\s*,", code):
            found.add((frozenset(m.strip() for m in mods.split("|")), key))
    return found


def key_problems(text, sources):
    listed, problems = readme_hotkeys(text)
    registered = code_hotkeys(sources)
    if not registered:
        return ["no hotkey table found in the product code"]
    if not listed:
        return ["no keys found in the README's keys table"]

    def name(hotkey):
        return "+".join(sorted(hotkey[0])) + "+" + hotkey[1]
    problems += [f"the README lists {name(k)}, which the program does not register" for k in listed - registered]
    problems += [f"the program registers {name(k)}, which the README does not list" for k in registered - listed]
    return problems


def setting_problems(text, sources):
    literals = {s for code in sources.values() for s in string_literals(code)}
    problems = []
    names = [re.sub(r"`([^`]+)`.*", r"\1", cell) for cell in table_first_cells(section(text, "Settings"))]
    if not names:
        return ["no settings table in the README"]
    for value in names:
        if value not in literals:
            problems.append(f"the README's setting {value} is not a value the program reads")
    read_values = set()
    for code in sources.values():
        read_values.update(re.findall(r'readSettingValue\(\s*\w+\s*,\s*L"([^"]+)"', code))
    problems += [f"the program reads {v}, which the README's settings table leaves out"
                 for v in sorted(read_values - set(names))]
    for key in re.findall(r"HKEY_LOCAL_MACHINE\\(SOFTWARE\\Pelorine)\b", text):
        if key.replace("\\", "\\\\") not in literals:
            problems.append(f"the program does not read the key {key}")
    for value in re.findall(r"/v (\w+)", text):
        if value not in names:
            problems.append(f"a command in the README sets {value}, which is not a setting")
    return problems


def text_problems(text, sources):
    """Menu items, the log file, the root group's name and every program text
    the README quotes in a code block must be the program's own."""
    literals = {s.replace("\\\\", "\\") for code in sources.values() for s in string_literals(code)}
    problems = []
    menu = re.findall(r'^- "([^"]+)"', section(text, "The notification-area icon"), re.M)
    code_menu = set()
    for code in sources.values():
        code_menu.update(re.findall(r'AppendMenuW\([^,]+,\s*MF_STRING\s*,\s*\w+\s*,\s*L"([^"]+)"', code))
    if not menu or not code_menu:
        problems.append("no menu items found in the README or in the program")
    problems += [f"the menu item \"{m}\" is not in the program's menu" for m in menu if m not in code_menu]
    problems += [f"the program's menu item \"{m}\" is not in the README" for m in sorted(code_menu - set(menu))]

    # The log file, where the README describes the settings and the log
    # (elsewhere it names the release's README.txt and LICENSE.txt).
    about_files = section(text, "Settings") + section(text, "The log file")
    for name in sorted(set(re.findall(r"`([\w.-]+\.txt)`", about_files))):
        if name not in literals:
            problems.append(f"the README names the file {name}, which the program does not write")
    for quoted in re.findall(r'"(Root Group|Group \d+)"', text):
        if quoted not in literals and re.sub(r"\d+$", "%d", quoted) not in literals:
            problems.append(f"the program never names a group \"{quoted}\"")
    for line in code_lines(text):
        if not is_command(line) and line not in literals:
            problems.append(f"the README quotes a text the program does not have: {line!r}")
    return problems


def file_problems(text, root=ROOT):
    problems = []
    for target in re.findall(r"\]\(([^)\s#]+)(?:#[^)]*)?\)", text):
        if re.match(r"^[a-z]+:", target):
            continue  # a web address
        path = os.path.join(root, target)
        if not os.path.exists(path):
            problems.append(f"the README links {target}, which does not exist")
    for target in re.findall(r"!\[[^\]]*\]\(([^)\s]+)\)", text):
        path = os.path.join(root, target)
        if not os.path.isfile(path):
            continue  # reported above
        with open(path, "rb") as f:
            if f.read(8) != b"\x89PNG\r\n\x1a\n":
                problems.append(f"the picture {target} is not a PNG")
        if os.path.getsize(path) > MAX_PICTURE_BYTES:
            problems.append(f"the picture {target} is larger than {MAX_PICTURE_BYTES // 1024} KB")
    for script in sorted(set(re.findall(r"\bscripts/[\w-]+(?:\.[\w-]+)*", text))):
        path = os.path.join(root, script)
        if not os.path.isfile(path):
            problems.append(f"the README names {script}, which does not exist")
        elif not os.access(path, os.X_OK):
            problems.append(f"the README names {script}, which is not executable")
    # CI reads the test command from the README: it must stand alone in a code block.
    if not [line for line in code_lines(text) if line.split()[0] == "scripts/test"]:
        problems.append("no code block of the README starts with the test command scripts/test")
    return problems


# ----- the tests -------------------------------------------------------------------
class ReadmeMatchesTheProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.text = read(README)
        cls.sources = product_sources()

    def test_keys_table_lists_exactly_the_registered_hotkeys(self):
        self.assertEqual([], key_problems(self.text, self.sources))

    def test_settings_are_the_values_the_program_reads(self):
        self.assertEqual([], setting_problems(self.text, self.sources))

    def test_menu_log_file_group_names_and_quoted_texts_are_the_programs(self):
        self.assertEqual([], text_problems(self.text, self.sources))

    def test_linked_files_pictures_and_named_scripts_exist(self):
        self.assertEqual([], file_problems(self.text))


class ChecksFindFaults(unittest.TestCase):
    """Each check on a README that is wrong in one way reports exactly that."""

    SOURCES = {"shell/m.cpp": '''
        const Hotkey kHotkeys[] = {
            {kHotkeyNextWindow, MOD_ALT, VK_TAB, L"x"},
            {kHotkeyCancelShift, MOD_ALT | MOD_SHIFT, VK_ESCAPE, L"y"},
        };
        g_dwLog = readSettingValue(key, L"Log");
        const wchar_t kSettingsKey[] = L"SOFTWARE\\\\Pelorine";
        const wchar_t kLogFileName[] = L"PelorineLog.txt";
        AppendMenuW(menu, MF_STRING, IDM_EXIT, L"Exit");
        plrFormat(name, kNameUnits, PLR_T("Group %d"), g_groupCounter);
        logMessage(L"Could not open log file.  "
                   L"Not writing out log messages.");
    '''}
    GOOD = '''# P
## Keys
| Keys | What |
|---|---|
| Alt+Tab | next |
| Alt+Shift+Esc | cancel |
| release Alt | front |

Groups are named "Group 1" and "Group 2".

## Settings
| Value | Effect |
|---|---|
| `Log` (DWORD) | a log in `PelorineLog.txt` under `HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelorine` |

    reg add "HKLM\\SOFTWARE\\Pelorine" /v Log /t REG_DWORD /d 1 /f

## The notification-area icon
- "Exit" ends it.

It shows

    Could not open log file.  Not writing out log messages.

## Build

    scripts/test    # everything
'''

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="plr-docs-")
        os.makedirs(os.path.join(self.root, "scripts"))
        test = os.path.join(self.root, "scripts", "test")
        with open(test, "w") as f:
            f.write("#!/bin/sh\n")
        os.chmod(test, 0o755)

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def all_problems(self, text):
        return (key_problems(text, self.SOURCES) + setting_problems(text, self.SOURCES)
                + text_problems(text, self.SOURCES) + file_problems(text, self.root))

    def test_a_correct_readme_passes(self):
        self.assertEqual([], self.all_problems(self.GOOD))

    def test_a_key_the_program_does_not_register(self):
        text = self.GOOD.replace("| release Alt |", "| Alt+F4 | close |\n| Alt+Ctrl+Tab | x |\n| release Alt |")
        problems = key_problems(text, self.SOURCES)
        self.assertEqual(2, len(problems), problems)
        self.assertIn("Alt+F4", problems[0])

    def test_a_registered_key_left_out(self):
        problems = key_problems(self.GOOD.replace("| Alt+Shift+Esc | cancel |\n", ""), self.SOURCES)
        self.assertEqual(["the program registers MOD_ALT+MOD_SHIFT+VK_ESCAPE, which the README does not list"],
                         problems)

    def test_a_setting_menu_item_or_text_the_program_does_not_have(self):
        for old, new, expected in (
                ("`Log` (DWORD)", "`Logging` (DWORD)", "Logging"),
                ("/v Log ", "/v Verbose ", "Verbose"),
                ('- "Exit"', '- "Quit"', "Quit"),
                ("PelorineLog.txt", "Pelorine.log.txt", "Pelorine.log.txt"),
                ('"Group 1"', '"Folder 1"', None),
                ('"Group 2"', '"Root Group"', "Root Group"),
                ("file.  Not", "file. Not", "Could not open log file. Not")):
            with self.subTest(new=new):
                problems = self.all_problems(self.GOOD.replace(old, new))
                if expected is None:
                    self.assertEqual([], problems)
                else:
                    self.assertTrue(problems, f"{new} passed")
                    self.assertTrue(any(expected in p for p in problems), problems)

    def test_a_missing_picture_script_or_link(self):
        for addition, expected in (
                ("![shot](docs/none.png)\n", "docs/none.png"),
                ("Run `scripts/release`.\n", "scripts/release"),
                ("See [the guide](GUIDE.md#start).\n", "GUIDE.md")):
            with self.subTest(addition=addition):
                problems = file_problems(self.GOOD + addition, self.root)
                self.assertEqual(1, len(problems), problems)
                self.assertIn(expected, problems[0])

    def test_a_script_that_is_not_executable_a_large_picture_and_no_test_command(self):
        os.chmod(os.path.join(self.root, "scripts", "test"), 0o644)
        os.makedirs(os.path.join(self.root, "docs"))
        with open(os.path.join(self.root, "docs", "big.png"), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + bytes(MAX_PICTURE_BYTES))
        with open(os.path.join(self.root, "docs", "fake.png"), "wb") as f:
            f.write(b"GIF89a..")
        text = self.GOOD.replace("    scripts/test    # everything", "Run scripts/test.")
        problems = file_problems(text + "![a](docs/big.png) ![b](docs/fake.png)\n", self.root)
        self.assertEqual(4, len(problems), problems)
        self.assertIn("larger than", problems[0])
        self.assertIn("not a PNG", problems[1])
        self.assertIn("not executable", problems[2])
        self.assertIn("test command", problems[3])


def main():
    verbosity = 2 if "-v" in sys.argv[1:] else 1
    stream = io.StringIO()
    suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__])
    result = unittest.TextTestRunner(stream=stream, verbosity=verbosity).run(suite)
    sys.stderr.write(stream.getvalue())
    failed = len(result.failures) + len(result.errors)
    print(result.testsRun - failed, failed)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
