#!/usr/bin/env python3
"""The release package, as a user unpacks it.

    python3 tests/release/test_package.py [--summary FILE] [unittest options]

Runs scripts/release twice into scratch directories (the first run builds
<PLR_BUILD_PREFIX>mingw-i686 when it is not current) and reads the zip with
tools of its own: the zip module, and binutils' objdump, objcopy and windres
for the exe. Also feeds the release's product check with damaged copies of
the exe, which it must refuse. Prints "N passed, N failed" last; --summary
writes {"passed", "failed"} as JSON.
"""

import argparse
import importlib.machinery
import importlib.util
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
RELEASE = os.path.join(ROOT, "scripts", "release")
TOOLS = "i686-w64-mingw32-"
REG_KEYS = {
    "32-bit-windows": r"HKEY_LOCAL_MACHINE\SOFTWARE\Pelorine",
    "64-bit-windows": r"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Pelorine",
}
REG_FILES = [f"{name}-{state}.reg" for name in ("CallTerminateProcess", "Log") for state in ("off", "on")]


def load_release_module():
    loader = importlib.machinery.SourceFileLoader("plr_release", RELEASE)
    found = importlib.util.spec_from_loader("plr_release", loader)
    module = importlib.util.module_from_spec(found)
    loader.exec_module(module)
    return module


def version_of_tree():
    with open(os.path.join(ROOT, "VERSION"), encoding="ascii") as f:
        return f.read().strip()


def run_release(*args, env=None, timeout=1800):
    return subprocess.run([sys.executable, RELEASE, *args], cwd=ROOT, capture_output=True, text=True,
                          errors="replace", env=env or os.environ, timeout=timeout)


def tool(name, *args, timeout=120):
    result = subprocess.run([TOOLS + name, *args], capture_output=True, text=True, errors="replace",
                            timeout=timeout)
    if result.returncode != 0:
        raise AssertionError(f"{name} {args} failed: {result.stderr}")
    return result.stdout


def build_dir():
    return os.path.join(ROOT, os.environ.get("PLR_BUILD_PREFIX", "build/") + "mingw-i686")


class ReleaseFixture(unittest.TestCase):
    """scripts/release run twice, the zip unpacked once for the whole class."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="plr-release-test-")
        cls.version = version_of_tree()
        cls.first = run_release("--out", os.path.join(cls.scratch, "one"))
        if cls.first.returncode != 0:
            raise AssertionError(f"scripts/release failed:\n{cls.first.stdout}\n{cls.first.stderr}")
        cls.second = run_release("--no-build", "--out", os.path.join(cls.scratch, "two"))
        cls.folder = f"pelorine-{cls.version}-win32"
        cls.zip_path = os.path.join(cls.scratch, "one", cls.folder + ".zip")
        cls.unpacked = os.path.join(cls.scratch, "unpacked")
        with zipfile.ZipFile(cls.zip_path) as archive:
            cls.names = archive.namelist()
            archive.extractall(cls.unpacked)
        cls.exe = os.path.join(cls.unpacked, cls.folder, "pelorine.exe")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def packed(self, name):
        with open(os.path.join(self.unpacked, self.folder, name), "rb") as f:
            return f.read()


class PackageTest(ReleaseFixture):
    def test_release_names_the_zip_after_the_version_and_reports_its_size(self):
        match = re.fullmatch(r"(\S+)  (\d+) bytes\n", self.first.stdout)
        self.assertIsNotNone(match, self.first.stdout)
        self.assertEqual(os.path.realpath(self.zip_path), os.path.realpath(os.path.join(ROOT, match.group(1))))
        self.assertEqual(os.path.getsize(self.zip_path), int(match.group(2)))
        with zipfile.ZipFile(self.zip_path) as archive:
            self.assertIsNone(archive.testzip())

    def test_the_zip_holds_exactly_the_product_files_in_one_folder(self):
        expected = {"pelorine.exe", "README.txt", "LICENSE.txt"}
        expected |= {f"settings/{view}/{name}" for view in REG_KEYS for name in REG_FILES}
        self.assertEqual(sorted(f"{self.folder}/{n}" for n in expected), sorted(self.names))

    def test_a_second_run_writes_the_same_bytes(self):
        self.assertEqual(0, self.second.returncode, self.second.stderr)
        with open(self.zip_path, "rb") as f, \
                open(os.path.join(self.scratch, "two", self.folder + ".zip"), "rb") as g:
            self.assertEqual(f.read(), g.read())

    def test_readme_and_licence_are_the_sources_as_notepad_reads_them(self):
        for packed, source in (("README.txt", "README.md"), ("LICENSE.txt", "LICENSE")):
            data = self.packed(packed)
            self.assertNotIn(b"\n", data.replace(b"\r\n", b""), f"{packed} has a line end without CR")
            with open(os.path.join(ROOT, source), "rb") as f:
                original = f.read()
            bom = b"\xef\xbb\xbf"
            # UTF-8 beyond ASCII needs the mark, or older Notepads read it as ANSI.
            self.assertEqual(not original.isascii(), data.startswith(bom), packed)
            text = data[len(bom):] if data.startswith(bom) else data
            self.assertEqual(original.replace(b"\r\n", b"\n"), text.replace(b"\r\n", b"\n"), packed)
        licence = self.packed("LICENSE.txt").decode("ascii")
        self.assertTrue(licence.startswith("MIT License"), licence[:40])
        self.assertIn("Copyright (c) 2026 The Pelorine developers", licence)
        self.assertIn("WOW6432Node", self.packed("README.txt").decode("utf-8"))

    def test_the_settings_files_are_shipped_byte_for_byte(self):
        for view in REG_KEYS:
            for name in REG_FILES:
                with open(os.path.join(ROOT, "release", "settings", view, name), "rb") as f:
                    self.assertEqual(f.read(), self.packed(f"settings/{view}/{name}"), f"{view}/{name}")


class RegFileTest(unittest.TestCase):
    """What regedit reads from each file: the header, one key, one DWORD."""

    def test_each_file_sets_its_value_under_the_key_of_its_windows(self):
        for view, key in REG_KEYS.items():
            for name in REG_FILES:
                with self.subTest(file=f"{view}/{name}"):
                    with open(os.path.join(ROOT, "release", "settings", view, name), "rb") as f:
                        data = f.read()
                    text = data.decode("ascii")  # plain ASCII, no byte-order mark
                    self.assertTrue(data.endswith(b"\r\n"))
                    self.assertNotIn(b"\n", data.replace(b"\r\n", b""), "a line end without CR")
                    lines = text.split("\r\n")
                    self.assertEqual("Windows Registry Editor Version 5.00", lines[0])
                    content = [line for line in lines[1:] if line and not line.startswith(";")]
                    value, state = name[:-len(".reg")].rsplit("-", 1)
                    self.assertEqual([f"[{key}]", f'"{value}"=dword:{1 if state == "on" else 0:08x}'], content)
                    comments = " ".join(line for line in lines if line.startswith(";"))
                    # Every file tells which Windows it is for and names the redirected key.
                    self.assertIn(view.replace("-windows", " Windows"), comments)
                    self.assertIn(r"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Pelorine", comments)


class ExeTest(ReleaseFixture):
    def test_the_exe_is_the_32_bit_gui_build_without_symbols(self):
        headers = tool("objdump", "-p", self.exe)
        self.assertIn("file format pei-i386", headers)
        self.assertRegex(headers, r"Magic\s+010b\s+\(PE32\)")
        self.assertRegex(headers, r"Subsystem\s+00000002\s+\(Windows GUI\)")
        sections = tool("objdump", "-h", self.exe)
        self.assertNotIn(".debug", sections)
        self.assertIn(".rsrc", sections)
        # The same code as the build: only symbols and debug sections went.
        code = []
        for exe in (self.exe, os.path.join(build_dir(), "pelorine.exe")):
            out = os.path.join(self.scratch, f"text-{len(code)}.bin")
            tool("objcopy", "-O", "binary", "-j", ".text", exe, out)
            with open(out, "rb") as f:
                code.append(f.read())
        self.assertGreater(len(code[0]), 0)
        self.assertEqual(code[1], code[0])

    def test_the_version_resource_carries_the_version_file(self):
        major, minor, patch = self.version.split(".")
        script = tool("windres", "-i", self.exe, "-O", "rc")
        block = script[script.index("VERSIONINFO"):]
        block = block[:block.index("\nEND")]
        self.assertRegex(block, rf"FILEVERSION {major}, {minor}, {patch}, 0\n")
        self.assertRegex(block, rf"PRODUCTVERSION {major}, {minor}, {patch}, 0\n")
        values = dict(re.findall(r'VALUE "(\w+)", "([^"]*)"', block))
        self.assertEqual(self.version, values.get("FileVersion"))
        self.assertEqual(self.version, values.get("ProductVersion"))
        self.assertEqual("Pelorine", values.get("ProductName"))
        self.assertEqual("pelorine.exe", values.get("OriginalFilename"))
        self.assertTrue(values.get("FileDescription"))
        self.assertIn('BLOCK "040904B0"', block)
        self.assertRegex(block, r'VALUE "Translation", 0x409, 1200')


class ProductCheckTest(unittest.TestCase):
    """The release's own check of the exe must refuse anything but the product."""

    @classmethod
    def setUpClass(cls):
        cls.release = load_release_module()
        cls.version, cls.numbers = cls.release.read_version()
        with open(os.path.join(build_dir(), "pelorine.exe"), "rb") as f:
            cls.good = f.read()

    def problems(self, data, version=None, numbers=None):
        return self.release.check_product(bytes(data), version or self.version, numbers or self.numbers)

    def header_offsets(self):
        pe = struct.unpack_from("<I", self.good, 0x3C)[0]
        return pe + 4, pe + 24  # COFF header, optional header

    def test_the_built_product_passes_and_its_reading_agrees_with_windres(self):
        self.assertEqual([], self.problems(self.good))
        info = self.release.pe_info(self.good)
        self.assertEqual((0x14C, 0x10B, 2), (info["machine"], info["magic"], info["subsystem"]))
        strings = {name: value for (_, name), value in info["version"]["strings"].items()}
        with tempfile.TemporaryDirectory() as scratch:
            exe = os.path.join(scratch, "p.exe")
            with open(exe, "wb") as f:
                f.write(self.good)
            script = tool("windres", "-i", exe, "-O", "rc")
        self.assertEqual(dict(re.findall(r'VALUE "(\w+)", "([^"]*)"', script)), strings)

    def test_a_damaged_or_foreign_exe_is_refused_with_the_reason(self):
        coff, optional = self.header_offsets()
        cases = []
        data = bytearray(self.good)
        struct.pack_into("<H", data, coff, 0x8664)
        cases.append(("machine", data))
        data = bytearray(self.good)
        struct.pack_into("<H", data, optional + 68, 3)
        cases.append(("subsystem", data))
        data = bytearray(self.good)
        struct.pack_into("<H", data, optional, 0x20B)
        cases.append(("magic", data))
        # The same length, so that the resource's layout stays as it is.
        wrong = "9" * len(self.version)
        text = ("ProductVersion\0" + self.version).encode("utf-16-le")
        data = bytearray(self.good.replace(text, ("ProductVersion\0" + wrong).encode("utf-16-le"), 1))
        self.assertNotEqual(self.good, bytes(data))
        cases.append(("ProductVersion", data))
        data = bytearray(self.good.replace("VS_VERSION_INFO".encode("utf-16-le"), "XS_VERSION_INFO".encode("utf-16-le")))
        cases.append(("VS_VERSION_INFO", data))
        cases.append(("executable", bytearray(b"MZ" + b"\0" * 200)))
        for reason, data in cases:
            with self.subTest(reason=reason):
                problems = self.problems(data)
                self.assertTrue([p for p in problems if reason in p], problems)

    def test_an_exe_of_another_version_is_refused(self):
        problems = self.problems(self.good, "9.8.7", (9, 8, 7))
        for field in ("file version", "product version", "FileVersion", "ProductVersion"):
            self.assertTrue([p for p in problems if field in p], problems)

    def test_malformed_version_files_are_refused(self):
        for text in ("1.0", "1.0.0-rc1", "v1.0.0", "70000.0.0", ""):
            with self.subTest(text=text), tempfile.TemporaryDirectory() as root:
                with open(os.path.join(root, "VERSION"), "w") as f:
                    f.write(text + "\n")
                with self.assertRaises(self.release.ReleaseError):
                    self.release.read_version(root)

    def test_a_missing_build_fails_and_writes_no_zip(self):
        with tempfile.TemporaryDirectory() as scratch:
            env = dict(os.environ, PLR_BUILD_PREFIX=os.path.join(scratch, "nothing-"))
            result = run_release("--no-build", "--out", os.path.join(scratch, "dist"), env=env)
            self.assertEqual(1, result.returncode, result.stdout)
            self.assertIn("pelorine.exe", result.stderr)
            self.assertFalse(os.path.exists(os.path.join(scratch, "dist")))


class WindowsTextTest(unittest.TestCase):
    def test_line_ends_become_crlf_once_and_only_text_beyond_ascii_gets_a_mark(self):
        convert = load_release_module().windows_text
        self.assertEqual(b"a\r\n\r\nb\r\n", convert(b"a\n\r\nb\n"))
        self.assertEqual(b"\xef\xbb\xbfGr\xc3\xbc\xc3\x9fe\r\n", convert("Grüße\n".encode("utf-8")))
        # Converting again changes nothing: no second mark, no CR CR LF.
        once = convert("Grüße\r\nx\n".encode("utf-8"))
        self.assertEqual(once, convert(once))


class CountingResult(unittest.TextTestResult):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.passed = 0

    def addSuccess(self, test):
        super().addSuccess(test)
        self.passed += 1


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--summary")
    args, rest = parser.parse_known_args()
    suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__])
    if rest:
        suite = unittest.defaultTestLoader.loadTestsFromNames(rest, sys.modules[__name__])
    result = unittest.TextTestRunner(verbosity=2, resultclass=CountingResult, stream=sys.stdout).run(suite)
    # One failure per test method however many of its subtests failed; a
    # class whose setUpClass failed counts as one.
    failed = len({getattr(t, "test_case", t).id() for t, _ in result.failures + result.errors})
    if args.summary:
        with open(args.summary, "w") as f:
            json.dump({"passed": result.passed, "failed": failed}, f)
    print(f"{result.passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
