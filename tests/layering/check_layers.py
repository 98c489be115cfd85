#!/usr/bin/env python3
"""Fails when a source file includes what its layer must not.

The application folders reach the system only through platform/'s public headers and the GUI
library only through dui/: no Qt header, no Linux or POSIX header, no header from inside a
platform/ sub-folder. dui/ never includes an application header. Each application folder uses
only the folders below it, in its includes and in the libraries it links. No run's library links another run's: station mode never links the
window program's libraries, nor the window program station mode's (read from the CMakeLists).
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")

# Which project folders each folder's sources may include (its own always).
ALLOWED = {
    "app": {"app", "download_window", "session", "extraction", "ui", "net", "drives", "dui",
            "platform", "skin"},
    "download_window": {"download_window", "session", "extraction", "ui", "net", "drives", "dui",
                        "platform", "skin"},
    "session": {"session", "extraction", "ui", "net", "platform"},
    "extraction": {"extraction", "platform"},
    "ui": {"ui", "dui", "platform", "skin"},
    "net": {"net", "platform"},
    "drives": {"drives", "platform"},
    "dui": {"dui", "platform"},
}
APPLICATION = {"app", "download_window", "session", "extraction", "ui", "net", "drives"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SYSTEM_HEADER = re.compile(
    r"^(unistd|fcntl|poll|dirent|pthread|signal|termios|dlfcn|mntent|pwd|grp|spawn|syslog|"
    r"sched|semaphore|libgen|glob|fnmatch|wordexp|netdb|ifaddrs|iconv|locale)\.h$|^(sys|linux|asm|arpa|netinet|systemd)/")
QT_HEADER = re.compile(r"^(Q[A-Za-z]+|Qt[A-Za-z]*/|q[a-z]+\.h$)")


def problems():
    for folder, allowed in ALLOWED.items():
        for path in sorted((ROOT / folder).rglob("*")):
            if path.suffix not in {".h", ".cpp"}:
                continue
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                kind, name = match.groups()
                where = f"{path.relative_to(ROOT)}:{number}: {name}"
                if kind == "<":
                    if folder in APPLICATION and (SYSTEM_HEADER.search(name) or QT_HEADER.match(name)):
                        yield f"{where}: a system or Qt header in an application folder"
                    continue
                top = name.split("/", 1)[0]
                if "/" in name and top not in allowed and top in ALLOWED.keys() | {"skin"}:
                    yield f"{where}: {folder}/ may not include {top}/"
                if folder in APPLICATION and top == "platform" and name.count("/") > 1:
                    yield f"{where}: a header from inside platform/ in an application folder"


# The libraries of each run; a run may link neither the other's nor anything that does.
RUN_LIBRARIES = {
    "window": {"installer_shell", "download_window"},
    "station": {"station"},
}
LINK = re.compile(r"target_link_libraries\(\s*(\S+)([^)]*)\)", re.S)
LIBRARY = re.compile(r"add_library\(\s*(\S+)")


def link_graph():
    graph = {}
    for path in sorted(ROOT.rglob("CMakeLists.txt")):
        if any(part.startswith("build") for part in path.relative_to(ROOT).parts):
            continue
        for target, names in LINK.findall(path.read_text(encoding="utf-8")):
            graph.setdefault(target, set()).update(
                name for name in names.split() if name not in {"PUBLIC", "PRIVATE", "INTERFACE"})
    return graph


def reached(graph, start):
    seen, todo = set(), [start]
    while todo:
        for name in graph.get(todo.pop(), ()):
            if name not in seen:
                seen.add(name)
                todo.append(name)
    return seen


def library_folders():
    """Each project library and the top folder that builds it."""
    folders = {}
    for path in sorted(ROOT.rglob("CMakeLists.txt")):
        parts = path.relative_to(ROOT).parts
        if len(parts) < 2 or parts[0] not in ALLOWED.keys() | {"platform", "skin"}:
            continue
        for name in LIBRARY.findall(path.read_text(encoding="utf-8")):
            folders[name] = parts[0]
    return folders


def link_problems():
    graph = link_graph()
    folders = library_folders()
    for library, folder in sorted(folders.items()):
        if folder not in ALLOWED:
            continue
        for linked in sorted(graph.get(library, ())):
            other = folders.get(linked)
            if other and other not in ALLOWED[folder]:
                yield f"{library} ({folder}/) links {linked}, a library of {other}/"
    for run, libraries in RUN_LIBRARIES.items():
        others = set().union(*(other for name, other in RUN_LIBRARIES.items() if name != run))
        for library in libraries:
            for linked in sorted(reached(graph, library) & others):
                yield f"{library} ({run} run) links {linked}, another run's library"


def main():
    found = list(problems()) + list(link_problems())
    for line in found:
        print(line)
    print(f"{len(found)} layering problems")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
