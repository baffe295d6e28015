#!/usr/bin/env python3
"""Checks that the install list covers what the build and the tests read.

    scripts/check-deps.py [BUILD_DIR]     (default: $TOLMERA_BUILD_DIR or build)

scripts/install-deps.sh installs its list with apt-get --no-install-recommends,
so on a fresh Debian only the listed packages, what they depend on (Depends and
Pre-Depends) and the minimal base system are there. A package that this machine
has for another reason, or that a listed package merely recommends, is missing
there, and the build or a test fails on it. This check collects every file that

  - a fresh configure reads (traced with strace into a temporary folder:
    CMake's modules and the packages' config files, pkg-config files, the
    compiler and its probes),
  - the build of BUILD_DIR reads (every header of every object, from the
    compiler's depfiles through `ninja -t deps`; the programs and libraries
    the build commands name; the Qt code generators),
  - the built programs load (ldd over every executable in BUILD_DIR),
  - a few tests read at run time (traced: Qt's platform and SQL plugins,
    fonts, the Python modules the workbook reader imports),

finds the Debian package that owns each, and names every such package that is
neither in the closure of the install list nor in the minimal base system
(Essential and Priority: required, with their dependencies), with a file that
needed it. A process that exits with a failure (a configure probe for an
optional feature, a python3 without openpyxl that a test tries first) and its
children do not count: the build did without what they read. Files that no
package owns (generated caches, the build's own files) are left aside.

BUILD_DIR must be a Ninja build folder that has been built. Needs strace,
dpkg and apt-cache (scripts/install-deps.sh --ci installs strace). Exits 1
when a package is missing from the list, 2 when the check cannot run.
"""
import collections
import fnmatch
import glob
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The tests traced at run time, one quick function of each: the Logbook
# window loads the offscreen platform plugin, the SQLite driver, Qt Charts
# and the fonts; the workbook test runs the Python reader of written
# workbooks (openpyxl); the print test runs pdftotext (poppler-utils).
TRACED_TESTS = [("tests/ui/ui_tst_logbookwindow", "everyControlNamed"),
                ("tests/export/export_tst_workbook", "headerCells"),
                ("tests/ui/ui_tst_logbookprint", "pagesReadBack")]

# What the traced processes open or run, and whom they start. A file that
# CMake only looks for (find_library, if(EXISTS)) counts when the build uses
# it: the build's commands and depfiles name it. "?" lets strace skip a call
# that the machine's architecture does not have (open on arm64).
TRACED_CALLS = ",".join(
    "?" + call for call in ["execve", "open", "openat", "mmap", "clone", "clone3", "fork", "vfork"])

# Qt reads the metadata of every plugin in the folders it searches, and loads
# only those it needs: a plugin counts when it is mapped to be run.
PLUGINS = "/qt6/plugins/"

# Files read only when they are there, which nothing needs (patterns).
OPTIONAL = [
    # glibc resolves locale names through it (package locales); C.UTF-8 needs no alias.
    "/usr/share/locale/locale.alias",
    # OpenSSL reads its configuration when there is one (package openssl);
    # Python's hashlib loads libcrypto.
    "/usr/lib/ssl/openssl.cnf",
    # Python's site module reads every .pth file it finds (python3-setuptools
    # installs one).
    "/usr/lib/python3/dist-packages/*.pth",
    # fontconfig reads the configuration of every font package there is; the
    # fonts a test draws with count by their font files.
    "/etc/fonts/conf.d/*",
    "/etc/fonts/conf.avail/*",
    "/usr/share/fontconfig/conf.avail/*",
]

# Debian 12 merges /bin, /sbin and /lib into /usr, but packages still list
# some files under the old names.
MERGED = [("/usr/bin/", "/bin/"), ("/usr/sbin/", "/sbin/"), ("/usr/lib/", "/lib/"),
          ("/usr/lib32/", "/lib32/"), ("/usr/lib64/", "/lib64/")]


def fail(message):
    print(f"check-deps: {message}", file=sys.stderr)
    sys.exit(2)


def run(args, **kwargs):
    return subprocess.run(args, check=True, text=True, stdout=subprocess.PIPE,
                          errors="surrogateescape", **kwargs).stdout


# --------------------------------------------------------------------------
# Files read


def trace(args, env=None):
    """Runs args under strace; returns [(path, ok)] of every file a process
    opened, ran or loaded, ok False when that process or one of its parents
    exited with a failure. Returns also the exit status of args."""
    with tempfile.TemporaryDirectory(prefix="tolmera-deps-") as work:
        status = subprocess.run(
            ["strace", "--seccomp-bpf", "-f", "-ff", "-q", "-y", "-e", "trace=" + TRACED_CALLS,
             "-o", os.path.join(work, "t")] + args,
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        if not os.listdir(work):
            fail(f"strace could not trace {args[0]} (is ptrace allowed here?)")
        parent, failed, reads = {}, set(), {}
        for name in os.listdir(work):
            pid = int(name.split(".")[1])
            reads[pid] = read_trace(os.path.join(work, name), pid, parent, failed)

    def counts(pid):
        while pid is not None:
            if pid in failed:
                return False
            pid = parent.get(pid)
        return True

    return [(path, counts(pid)) for pid in sorted(reads) for path in reads[pid]], status


OPEN = re.compile(r'^(?:open|openat)\((?:(?:AT_FDCWD|\d+)<([^>]*)>, )?"([^"]*)".*\) = \d+<([^>]*)>$')
RAN = re.compile(r'^execve\("([^"]+)".*\) = 0$')
LOADED = re.compile(r"^mmap\(.*PROT_EXEC.*, \d+<([^>]*)>, \w+\) = 0x")
CHILD = re.compile(r"^(?:clone3?|fork|vfork)\(.*\) = (\d+)$")
EXIT = re.compile(r"^\+\+\+ exited with (\d+) \+\+\+$")


def read_trace(path, pid, parent, failed):
    """The paths one process's trace file names; notes its children in
    parent and itself in failed when it exited with a failure."""
    paths = []
    with open(path, errors="surrogateescape") as f:
        for line in f:
            line = line.rstrip("\n")
            m = OPEN.match(line)
            if m:
                base, asked, opened = m.groups()
                asked = os.path.join(base or "/", asked)
                optional = any(fnmatch.fnmatch(name, p) for name in (asked, opened) for p in OPTIONAL)
                if PLUGINS not in opened and not optional:
                    paths += [asked, opened]
                continue
            m = LOADED.match(line)
            if m:
                if PLUGINS in m.group(1):
                    paths.append(m.group(1))
                continue
            m = RAN.match(line)
            if m:
                paths.append(m.group(1))
                continue
            m = CHILD.match(line)
            if m:
                parent[int(m.group(1))] = pid
                continue
            m = EXIT.match(line)
            if m and m.group(1) != "0":
                failed.add(pid)
    return paths


def configure_reads():
    """Files a fresh configure of the sources reads, as scripts/run-tests.sh
    configures them."""
    with tempfile.TemporaryDirectory(prefix="tolmera-deps-build-") as build:
        reads, status = trace(["cmake", "-S", HERE, "-B", build, "-G", "Ninja",
                               "-DCMAKE_BUILD_TYPE=RelWithDebInfo"])
    if status != 0:
        fail("the traced configure failed; run it by hand to see why")
    return [path for path, ok in reads if ok]


def cache_value(build, key):
    with open(os.path.join(build, "CMakeCache.txt"), errors="surrogateescape") as f:
        for line in f:
            if line.startswith(key + ":"):
                return line.split("=", 1)[1].strip()
    return ""


def steps(command):
    """The simple commands of a shell command line, each as its words."""
    lexer = shlex.shlex(command, posix=True, punctuation_chars=True)
    lexer.whitespace_split = True
    step = []
    for word in lexer:
        if word in ("&&", "||", ";", "|"):
            if step:
                yield step
            step = []
        else:
            step.append(word)
    if step:
        yield step


def build_reads(build):
    """Files the build of build read: the headers in the depfiles, the
    programs its commands run, the files they name (the libraries of each
    link), the libraries named by -l, and the Qt code generators."""
    paths = []
    for line in run(["ninja", "-C", build, "-t", "deps"]).splitlines():
        if line.startswith("    ") and line.strip().startswith("/"):
            paths.append(line.strip())

    # A compiler launcher (ccache) is the developer's choice, not the build's need.
    launchers = {os.path.basename(cache_value(build, f"CMAKE_{lang}_COMPILER_LAUNCHER"))
                 for lang in ("C", "CXX")} - {""}
    libraries = set()
    for command in run(["ninja", "-C", build, "-t", "commands"]).splitlines():
        for words in steps(command):
            if os.path.basename(words[0]) in launchers:
                words = words[1:]
            if not words or words[0] in (":", "cd"):
                continue
            program = words[0] if words[0].startswith("/") else shutil.which(words[0])
            if program:
                paths.append(program)
            paths += [w for w in words[1:] if w.startswith("/")]
            libraries |= {w[2:] for w in words if w.startswith("-l") and len(w) > 2}
    compiler = cache_value(build, "CMAKE_CXX_COMPILER")
    for name in sorted(libraries):
        found = run([compiler, f"-print-file-name=lib{name}.so"]).strip()
        paths.append(found)

    # CMake runs moc, uic and rcc itself, as its info files for them say.
    for info in glob.glob(os.path.join(build, "**", "Auto*Info.json"), recursive=True):
        with open(info) as f:
            data = json.load(f)
        tools = ("QT_MOC_EXECUTABLE", "QT_UIC_EXECUTABLE", "RCC_EXECUTABLE")
        paths += [data[k] for k in tools if data.get(k)]
    return paths


def is_program(path):
    try:
        with open(path, "rb") as f:
            return os.access(path, os.X_OK) and f.read(4) == b"\x7fELF"
    except OSError:
        return False


def loaded_libraries(build):
    """The libraries every program built in build loads (ldd)."""
    paths = []
    for root, dirs, files in os.walk(build):
        dirs[:] = sorted(d for d in dirs if d != "CMakeFiles")
        for name in sorted(files):
            program = os.path.join(root, name)
            if not is_program(program):
                continue
            paths.append(program)
            for line in run(["ldd", program]).splitlines():
                m = re.search(r"(/\S+) \(0x", line)
                if m:
                    paths.append(m.group(1))
    return paths


def test_reads(build):
    """Files the traced tests read, run as ctest runs them (tests/CMakeLists.txt
    sets the same environment)."""
    paths = []
    with tempfile.TemporaryDirectory(prefix="tolmera-deps-data-") as data:
        env = dict(os.environ, LC_ALL="C.UTF-8", LANG="C.UTF-8", QT_QPA_PLATFORM="offscreen", TZ="UTC",
                   XDG_DATA_HOME=data)
        for program, function in TRACED_TESTS:
            if not is_program(os.path.join(build, program)):
                fail(f"{build} has no {program}; build the tests first")
            reads, status = trace([os.path.join(build, program), function], env=env)
            if status != 0:
                fail(f"the traced test {program} {function} failed; run it to see why")
            paths += [path for path, ok in reads if ok]
    return paths


# --------------------------------------------------------------------------
# Packages


def file_owners():
    """Every path dpkg has installed, with the packages that own it."""
    owners = collections.defaultdict(set)
    for listing in glob.glob("/var/lib/dpkg/info/*.list"):
        package = os.path.basename(listing)[: -len(".list")].split(":")[0]
        with open(listing, errors="surrogateescape") as f:
            for line in f:
                owners[line.rstrip("\n")].add(package)
    return owners


def spellings(path):
    """path, each symbolic link it leads through and where it ends, each
    also under its other name in the merged /usr."""
    steps = [os.path.normpath(path)]
    for _ in range(40):
        if not os.path.islink(steps[-1]):
            break
        steps.append(os.path.normpath(os.path.join(os.path.dirname(steps[-1]), os.readlink(steps[-1]))))
    steps.append(os.path.realpath(path))
    names = []
    for step in steps:
        names.append(step)
        for merged, old in MERGED:
            if step.startswith(merged):
                names.append(old + step[len(merged):])
            elif step.startswith(old):
                names.append(merged + step[len(old):])
    return names


def needed_packages(reads, owners):
    """{packages: [(who read it, path), ...]} for every file read that a
    package owns, keyed by the set of packages that own it (mostly one)."""
    needed = collections.defaultdict(dict)
    for reader, paths in reads:
        for path in sorted(set(paths)):
            if not os.path.isfile(path):
                continue  # a folder, or gone (a temporary file)
            # Each spelling that a package owns needs that package: the link
            # /usr/bin/python3 belongs to python3, its target to python3.11.
            for name in spellings(path):
                packages = frozenset(owners.get(name, ()))
                if packages:
                    needed[packages][(reader, path)] = True
    return {packages: list(found) for packages, found in needed.items()}


def base_system():
    """The packages a minimal Debian has (debootstrap's minbase installs the
    Essential ones and those of Priority: required)."""
    base = set()
    fields = "${Package}\t${Essential}\t${Priority}\t${db:Status-Abbrev}\n"
    for line in run(["dpkg-query", "-W", "-f=" + fields]).splitlines():
        package, essential, priority, status = line.split("\t")
        # Installed, also while apt is at work on it (unpacked, triggers pending).
        if status[1] not in "nc" and (essential == "yes" or priority == "required"):
            base.add(package)
    return base


def bare(name):
    return name.strip().strip("<>").split(":")[0]


def dependency_graph(roots):
    """{package: [[alternative, ...], ...]} from apt-cache, following Depends
    and Pre-Depends; an alternative is (name, providers) where providers are
    the packages that provide a virtual name."""
    out = run(["apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests", "--no-conflicts",
               "--no-breaks", "--no-replaces", "--no-enhances"] + sorted(roots))
    graph, real, named = {}, set(), set()
    groups, open_group = None, False
    for line in out.splitlines():
        if not line.startswith(" "):
            # <python3:any> is python3 itself; <debconf-2.0> is a virtual package.
            name = bare(line)
            (named if line.startswith("<") else real).add(name)
            groups = graph.setdefault(name, [])
            open_group = False
            continue
        m = re.match(r"^ ([ |])(Depends|PreDepends): (\S+)$", line)
        if m:
            alternative = (bare(m.group(3)), [])
            if open_group:
                groups[-1].append(alternative)
            else:
                groups.append([alternative])
            open_group = m.group(1) == "|"
        elif line.startswith("    ") and groups:
            groups[-1][-1][1].append(bare(line))
    return graph, named - real


def closure(roots, have, graph, virtual):
    """The packages apt installs for roots on a system that has have, roughly
    as apt chooses: a dependency that some package already chosen satisfies
    adds nothing, else the first alternative (of a virtual name, its first
    provider) is installed."""
    chosen = set(have) | set(roots)
    queue = sorted(roots)
    while queue:
        package = queue.pop(0)
        for group in graph.get(package, []):
            if any(name in chosen or chosen.intersection(providers) for name, providers in group):
                continue
            name, providers = group[0]
            pick = providers[0] if name in virtual and providers else name
            chosen.add(pick)
            queue.append(pick)
    return chosen


def main():
    args = sys.argv[1:]
    if len(args) > 1 or (args and args[0].startswith("-")):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        sys.exit(2)
    build = args[0] if args else os.environ.get("TOLMERA_BUILD_DIR", os.path.join(HERE, "build"))
    build = os.path.abspath(build)
    for tool in ("strace", "dpkg-query", "apt-cache", "ldd", "ninja", "cmake"):
        if not shutil.which(tool):
            fail(f"{tool} is missing (scripts/install-deps.sh --ci installs strace)")
    if not os.path.exists(os.path.join(build, ".ninja_deps")):
        fail(f"{build} is no built Ninja build folder")

    listed = run([os.path.join(HERE, "scripts", "install-deps.sh"), "--list"]).split()
    base = base_system()
    graph, virtual = dependency_graph(set(listed) | base)
    unknown = sorted(p for p in listed if p not in graph or p in virtual)
    if unknown:
        fail(f"apt does not know the listed packages {', '.join(unknown)}")
    base = closure(base, set(), graph, virtual)
    covered = closure(listed, base, graph, virtual)

    reads = [("the configure read", configure_reads()), ("the build read", build_reads(build)),
             ("a built program loads", loaded_libraries(build)), ("the tests read", test_reads(build))]
    needed = needed_packages(reads, file_owners())
    missing = sorted((sorted(p), found) for p, found in needed.items() if not p & covered)

    files = {path for found in needed.values() for _, path in found}
    print(f"check-deps: {len(files)} files read, from {len(set().union(*needed))} packages; the install list "
          f"({len(listed)} packages) brings {len(covered - base)} beside the {len(base)} of a minimal system")
    for packages, found in missing:
        # A file the package is for (a font, a header) says more than a configuration file.
        reader, path = min(found, key=lambda f: (f[1].startswith("/etc/"), found.index(f)))
        others = len({p for _, p in found}) - 1
        more = f" (and {others} more)" if others else ""
        print(f"MISSING  {' or '.join(packages)}: {reader} {path}{more}")
    if missing:
        print(f"check-deps: {len(missing)} package(s) above are read but not installed by "
              "scripts/install-deps.sh on a fresh system: add them to its list")
        sys.exit(1)
    print("check-deps: the install list covers every package the build and the tests read")


if __name__ == "__main__":
    main()
