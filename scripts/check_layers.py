#!/usr/bin/env python3
"""Fails when a source file reaches outside the layers src/layers.txt allows.

For every file under src/<folder>/ and tests/<folder>/:
- an #include "<other>/..." of a project header must name the file's own
  folder or one that src/layers.txt lets it use (tests/<folder> may use what
  src/<folder> may; tests/e2e what src/app may); headers that live under
  tests/ are test helpers and always allowed;
- the plain C++ layers (platform, store, engine) include no Qt header;
- operating-system headers and tests of the operating system (#ifdef _WIN32
  and the like) appear only in src/platform/.

Usage: check_layers.py <source root>
"""
import pathlib
import re
import sys

PLAIN_CPP = {"platform", "store", "engine", "journal"}
OS_HEADERS = re.compile(
    r"^(windows|winsock2|shellapi|shlobj|sddl|psapi|unistd|fcntl|dirent|signal|poll|spawn|"
    r"termios|pwd|grp|dlfcn|sys/.*|arpa/.*|netinet/.*)\.h$")
OS_CONDITION = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__linux__|__unix__|"
                          r"__APPLE__|_POSIX_VERSION|Q_OS_\w+)\b")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def read_layers(root):
    layers = {}
    for line in (root / "src" / "layers.txt").read_text().splitlines():
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        name, _, deps = line.partition(":")
        layers[name.strip()] = set(deps.split())
    return layers


def check_file(path, layer, layers, root, is_test):
    problems = []
    allowed = layers[layer] | {layer}
    for number, text in enumerate(path.read_text(errors="replace").splitlines(), 1):
        where = f"{path.relative_to(root)}:{number}"
        if not is_test and layer != "platform" and OS_CONDITION.match(text):
            problems.append(f"{where}: a test of the operating system outside src/platform/")
        m = INCLUDE.match(text)
        if not m:
            continue
        bracket, name = m.groups()
        if bracket == "<":
            if layer in PLAIN_CPP and not is_test and re.match(r"^Q[A-Za-z]*(/|$)", name):
                problems.append(f"{where}: {layer}/ is plain C++ and may not include <{name}>")
            if not is_test and layer != "platform" and OS_HEADERS.match(name):
                problems.append(f"{where}: <{name}> belongs in src/platform/")
            continue
        if is_test and ((path.parent / name).exists() or (root / "tests" / name).exists()):
            continue  # a test helper
        if name.endswith(".moc"):
            continue  # what the build generates for a file's own Qt objects
        folder = name.split("/", 1)[0] if "/" in name else None
        if folder is None:
            if not (path.parent / name).exists():
                problems.append(f'{where}: "{name}" names no folder')
            continue
        if folder not in layers:
            problems.append(f'{where}: "{name}" is not a header of src/')
        elif folder not in allowed:
            problems.append(f'{where}: {layer}/ may not use {folder}/ ("{name}")')
    return problems


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    layers = read_layers(root)
    problems = []
    checked = 0
    for layer in layers:
        for path in sorted((root / "src" / layer).glob("*")):
            if path.suffix in (".cpp", ".h"):
                problems += check_file(path, layer, layers, root, is_test=False)
                checked += 1
    for folder in sorted((root / "tests").iterdir()):
        if not folder.is_dir():
            continue
        layer = "app" if folder.name == "e2e" else folder.name
        sources = [p for p in folder.glob("*") if p.suffix in (".cpp", ".h")]
        if not sources:
            continue  # tests in another language (tests/clients) include nothing
        if layer not in layers:
            problems.append(f"tests/{folder.name}/: no layer of that name in src/layers.txt")
            continue
        for path in sorted(sources):
            problems += check_file(path, layer, layers, root, is_test=True)
            checked += 1
    for p in problems:
        print(p)
    print(f"{checked} files checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
