"""The ``velkaron`` command line: quick answers about HTML files from the shell.

    velkaron stats page.html             element count, parse time, most frequent tags
    velkaron links page.html             every ``a href``, one per line
    velkaron images page.html            every ``img src``, one per line
    velkaron text page.html              the text a reader sees, one block per line
    velkaron markdown page.html          the page as Markdown
    velkaron count div page.html         number of ``div`` elements
    velkaron find a --attr class=nav --json page.html
    velkaron select 'article h2 > a' --attr href page.html   any CSS selector

FILE may be ``-`` for standard input; without FILE the bundled sample page is used.
"""

from __future__ import annotations

import argparse
import json
import os
import re
import sys
import time
from collections import Counter
from collections.abc import Callable, Iterable, Iterator, Sequence
from concurrent.futures import ProcessPoolExecutor, ThreadPoolExecutor
from dataclasses import dataclass, field
from importlib import resources
from typing import IO

from velkaron import Node, SelectorError, Tree, __version__, parse_many
from velkaron.encoding import decode, encoding_name, parse, sniff
from velkaron.text import text_pieces

# Exit status for usage errors and for files that could not be read (the status argparse uses).
EXIT_ERROR = 2
# Exit status of `select` when no file had a match, as grep has it.
EXIT_NO_MATCH = 1

# A progress bar is drawn (on a terminal only) from this many files up.
PROGRESS_MIN_FILES = 10
# With --jobs, these commands parse each batch of pages on native threads in this process
# (parse_many) and answer them in turn: their answers are native and take under a tenth of the
# parse, so threads beat worker processes, which pay for starting and for sending results back
# (bench/cli_jobs.py). text and find spend 30 to 45% of their time in Python after the
# parse, which only processes spread over cores; stats times each page's parse on its own. The
# batch bounds the trees held at once.
THREADED_COMMANDS = frozenset({"links", "images", "count", "select", "markdown"})
BATCH_PAGES = 32

SAMPLE_NAME = "sample.html"


# --- Reading and decoding -------------------------------------------------------------------

def decode_html(data: bytes, fallback: str | None = None) -> tuple[str, str]:
    """A page's bytes as text, decoded as velkaron.parse decodes them (``fallback`` is the
    encoding of pages that do not name theirs); returns the text and the encoding's name."""
    name, bom = sniff(data, default=fallback)
    return decode(data[bom:], name), name


def _read_sample() -> bytes:
    return resources.files("velkaron").joinpath("data", SAMPLE_NAME).read_bytes()


# --- Matching for `find` --------------------------------------------------------------------

_ASCII_WS = re.compile(r"[ \t\n\r\f]+")


@dataclass(frozen=True)
class AttrFilter:
    """One ``--attr`` condition: NAME (presence), NAME=VALUE (equality), class=C (token)."""

    name: str
    value: str | None

    @classmethod
    def parse(cls, text: str) -> AttrFilter:
        name, sep, value = text.partition("=")
        name = name.strip()
        if not name:
            raise argparse.ArgumentTypeError(f"expected NAME=VALUE or NAME, got {text!r}")
        return cls(name.lower(), value if sep else None)

    def matches(self, attrs: dict[str, str]) -> bool:
        # HTML attribute names are case-insensitive; SVG keeps mixed-case ones (viewBox).
        actual = next((v for k, v in attrs.items() if k.lower() == self.name), None)
        if actual is None:
            return False
        if self.value is None:
            return True
        if self.name == "class":
            wanted = _ASCII_WS.split(self.value.strip(" \t\n\r\f"))
            if wanted != [""]:
                # As in CSS `.a.b`: every listed class must be among the element's tokens.
                tokens = set(_ASCII_WS.split(actual))
                return all(token in tokens for token in wanted)
        return actual == self.value


def find_matches(root: Node, tag: str | None, filters: Sequence[AttrFilter],
                 first: bool = False) -> list[Node]:
    """Elements below ``root`` with the tag (any case; None or ``*`` for any) passing every filter.

    The candidates come from the library's tag lookup (names are lower case there), and the
    attribute conditions are checked here, so that class matching follows CSS whatever search
    path the library would have taken.
    """
    name = (tag or "").strip().lower()
    candidates = root.find_all("" if name == "*" else name)
    result: list[Node] = []
    for node in candidates:
        if filters:
            attrs = node.get_attributes()
            if not all(f.matches(attrs) for f in filters):
                continue
        result.append(node)
        if first:
            break
    return result


def one_line(text: str) -> str:
    """Text with runs of ASCII whitespace collapsed to one space, trimmed."""
    return _ASCII_WS.sub(" ", text.replace("\v", " ")).strip(" ")


def clean_url(value: str) -> str:
    """An attribute URL as a browser reads it: ends trimmed, tabs and line breaks removed."""
    return re.sub(r"[\t\n\r]", "", value).strip("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a"
                                                 "\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15"
                                                 "\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f ")


# --- Commands -------------------------------------------------------------------------------


@dataclass(frozen=True)
class Options:
    """Everything a worker needs to process one file (picklable for worker processes)."""

    command: str
    encoding: str | None = None
    top: int = 10
    separator: str = ""
    strip: bool = False
    with_code: bool = False
    # text: the text pieces joined with --separator, as before plain_text (--strip,
    # --separator or --with-code asks for it)
    pieces: bool = False
    tag: str | None = None
    filters: tuple[AttrFilter, ...] = field(default_factory=tuple)
    first: bool = False
    json: bool = False
    html: bool = False  # find, select: print the matches' HTML
    label_json: bool = False  # several files: each JSON line names its file
    css: str = ""
    attribute: str | None = None  # select: print this attribute instead of the text
    absolute: bool = False  # links: resolved against the page's base
    base_url: str | None = None  # links, text, markdown: the page's own address
    links: bool = False  # text: each link's URL after its text
    main: bool = False  # text, markdown: the main content only


def _stats(tree: Tree, root: Node, opts: Options, size: int, encoding: str,
           parse_seconds: float) -> Iterator[str]:
    names = Counter(node.get_name() or "(unknown)" for node in root.find_all())
    parse_ms = parse_seconds * 1000
    index_ms = tree.get_index_build_time() * 1000
    yield f"bytes:     {size:,} ({encoding})"
    yield f"elements:  {tree.get_indexed_element_count():,}"
    yield f"parse:     {parse_ms:.3f} ms (of which indexing {index_ms:.3f} ms)"
    yield "top tags:"
    width = max((len(n) for n, _ in names.most_common(opts.top)), default=0)
    for name, count in names.most_common(opts.top):
        yield f"  {name:<{width}}  {count:>6,}"


def _selected(tree: Tree, opts: Options) -> Iterator[str]:
    # Whole-document selection: the root element itself can match.
    for node in tree.select(opts.css):
        if opts.html:
            yield node.html
        elif opts.attribute is None:
            yield one_line(node.get_text())
        elif (value := node.get(opts.attribute)) is not None:
            yield value


def _urls(values: Iterable[str]) -> Iterator[str]:
    for value in values:
        url = clean_url(value)
        if url:
            yield url


def _text(tree: Tree, root: Node, opts: Options) -> Iterator[str]:
    if not opts.pieces:
        yield tree.plain_text(links=opts.links, base_url=opts.base_url, main_content=opts.main)
        return
    pieces = text_pieces(root, opts.with_code)
    if opts.strip:
        pieces = [stripped for stripped in (p.strip(_TRIM) for p in pieces) if stripped]
    yield opts.separator.join(pieces)


_TRIM = " \t\n\r\f\v"


def _format_match(node: Node, opts: Options, file_name: str) -> str:
    attrs = node.get_attributes()
    text = one_line(node.get_text())
    if opts.json:
        record: dict[str, object] = {"name": node.get_name(), "attrs": attrs, "text": text}
        if opts.html:
            record["html"] = node.html
        if opts.label_json:
            record["file"] = file_name
        return json.dumps(record, ensure_ascii=False)
    if opts.html:
        return node.html
    shown = " ".join(f"{k}={json.dumps(v, ensure_ascii=False)}" for k, v in attrs.items())
    return f"{node.get_name()}\t{shown}\t{text}"


def run_command(data: bytes, opts: Options, file_name: str) -> list[str]:
    """Parse one page and return the command's output lines."""
    started = time.perf_counter()
    # --encoding names the encoding of pages that do not say theirs.
    tree = parse(data, default=opts.encoding)
    return answer(tree, opts, file_name, len(data), time.perf_counter() - started)


def answer(tree: Tree, opts: Options, file_name: str, size: int, parse_seconds: float) -> list[str]:
    """The command's output lines for one parsed page."""
    encoding = tree.encoding
    root = tree.get_root()
    if root is None:
        return []
    if opts.command == "stats":
        return list(_stats(tree, root, opts, size, encoding, parse_seconds))
    if opts.command == "links":
        if opts.absolute:
            return list(_urls(tree.links(base_url=opts.base_url)))
        return list(_urls(root.get_all_hrefs()))
    if opts.command == "images":
        return list(_urls(root.get_all_src_attributes()))
    if opts.command == "text":
        return list(_text(tree, root, opts))
    if opts.command == "markdown":
        return [tree.markdown(base_url=opts.base_url, main_content=opts.main)]
    if opts.command == "count":
        return [str(root.count_elements_by_tag((opts.tag or "").lower()))]
    if opts.command == "select":
        return list(_selected(tree, opts))
    if opts.command == "find":
        return [_format_match(node, opts, file_name)
                for node in find_matches(root, opts.tag, opts.filters, opts.first)]
    raise ValueError(f"unknown command {opts.command!r}")


@dataclass(frozen=True)
class Task:
    name: str  # as shown to the user
    path: str | None  # read by the worker; None when ``data`` is given
    data: bytes | None


@dataclass(frozen=True)
class Outcome:
    name: str
    lines: list[str]
    error: str | None


# One pathological page must not end a run over thousands of others.
_PAGE_ERRORS = (MemoryError, RuntimeError, ValueError)


def _read(task: Task) -> bytes | Outcome:
    """The input's bytes, or the outcome that reports why it could not be read."""
    if task.data is not None:
        return task.data
    assert task.path is not None
    try:
        with open(task.path, "rb") as f:
            return f.read()
    except OSError as e:
        return Outcome(task.name, [], f"{task.name}: {e.strerror or e}")


def _failed(task: Task, error: Exception) -> Outcome:
    return Outcome(task.name, [], f"{task.name}: {type(error).__name__}: {error}")


def process(task: Task, opts: Options) -> Outcome:
    """Read and process one input; a read failure is reported, never raised."""
    data = _read(task)
    if isinstance(data, Outcome):
        return data
    try:
        return Outcome(task.name, run_command(data, opts, task.name), None)
    except _PAGE_ERRORS as e:
        return _failed(task, e)


def _batches(tasks: list[Task], size: int) -> Iterator[list[Task]]:
    for start in range(0, len(tasks), size):
        yield tasks[start:start + size]


def _parse_batch(batch: list[Task], opts: Options,
                 jobs: int) -> tuple[list[bytes | Outcome], list[Tree] | None]:
    """The batch's inputs as read, and their trees in reverse order; None when some page fails
    on its own."""
    read = [_read(task) for task in batch]
    pages = [data for data in read if not isinstance(data, Outcome)]
    try:
        return read, parse_many(pages, threads=jobs, default=opts.encoding)[::-1]
    except _PAGE_ERRORS:
        return read, None


def process_together(tasks: list[Task], opts: Options, jobs: int) -> Iterator[Outcome]:
    """Outcomes in input order, the pages of each batch parsed at once on ``jobs`` native
    threads (``parse_many``) and then answered one by one, while the next batch parses."""
    batches = list(_batches(tasks, BATCH_PAGES))
    if not batches:
        return
    with ThreadPoolExecutor(max_workers=1) as parser:
        upcoming = parser.submit(_parse_batch, batches[0], opts, jobs)
        for number, batch in enumerate(batches):
            read, trees = upcoming.result()
            if number + 1 < len(batches):
                upcoming = parser.submit(_parse_batch, batches[number + 1], opts, jobs)
            if trees is None:
                # Some page of the batch fails on its own: find which, one at a time.
                yield from (process(task, opts) for task in batch)
            else:
                yield from _answer_batch(batch, read, trees, opts)


def _answer_batch(batch: list[Task], read: list[bytes | Outcome], trees: list[Tree],
                  opts: Options) -> Iterator[Outcome]:
    for task, data in zip(batch, read):
        if isinstance(data, Outcome):
            yield data
            continue
        tree = trees.pop()  # each tree is freed once answered
        try:
            # A batch's parse is not timed page by page: stats never come this way.
            yield Outcome(task.name, answer(tree, opts, task.name, len(data), 0.0), None)
        except _PAGE_ERRORS as e:
            yield _failed(task, e)
        del tree


def _process_star(args: tuple[Task, Options]) -> Outcome:
    return process(*args)


# --- Progress bar ---------------------------------------------------------------------------


class Progress:
    """A one-line progress bar on a terminal's standard error; silent elsewhere."""

    def __init__(self, total: int, stream: IO[str]) -> None:
        self.total = total
        self.done = 0
        self.stream = stream
        self.enabled = total >= PROGRESS_MIN_FILES and _isatty(stream)
        self.started = time.monotonic()

    def advance(self) -> None:
        self.done += 1
        self.draw()

    def draw(self) -> None:
        if not self.enabled:
            return
        width = 30
        filled = width * self.done // max(self.total, 1)
        elapsed = time.monotonic() - self.started
        bar = "#" * filled + "-" * (width - filled)
        self.stream.write(f"\r[{bar}] {self.done}/{self.total} files {elapsed:5.1f}s")
        self.stream.flush()

    def clear(self) -> None:
        if self.enabled:
            self.stream.write("\r\x1b[K")
            self.stream.flush()


def _isatty(stream: IO[str]) -> bool:
    try:
        return stream.isatty()
    except (AttributeError, ValueError):
        return False


# --- Argument parsing -----------------------------------------------------------------------


def _positive_int(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1: {text!r}")
    return value


def _encoding(text: str) -> str:
    try:
        return encoding_name(text)
    except LookupError:
        raise argparse.ArgumentTypeError(f"unknown encoding: {text!r}") from None


def _separator(text: str) -> str:
    # Shell users type \n and \t literally; read them as the characters they name.
    escapes = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", "0": "\0"}
    return re.sub(r"\\(.)", lambda m: escapes.get(m.group(1), m.group(0)), text)


def build_parser(prog: str = "velkaron") -> tuple[argparse.ArgumentParser,
                                                   dict[str, argparse.ArgumentParser]]:
    """The top-level parser (usage, help, version) and one parser per command."""
    commands: dict[str, argparse.ArgumentParser] = {}
    parser = argparse.ArgumentParser(
        prog=prog,
        description="Parse HTML files and print their statistics, links, images, text or "
                    "matching elements. With no FILE, the bundled sample page is used; "
                    "FILE '-' reads standard input.",
    )
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")

    common = argparse.ArgumentParser(add_help=False)
    common.add_argument("--encoding", type=_encoding, metavar="ENC",
                        help="encoding of pages that have no byte-order mark and declare no "
                             "charset (default: UTF-8 when the bytes are UTF-8, else "
                             "windows-1252)")
    common.add_argument("-j", "--jobs", type=_positive_int, default=1, metavar="N",
                        help="process the files in N worker processes (default: 1)")

    sub = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)

    def command(name: str, help: str, description: str) -> argparse.ArgumentParser:
        commands[name] = sub.add_parser(name, parents=[common], help=help,
                                        description=description)
        return commands[name]

    p = command("stats", help="element count, parse time, frequent tags",
                       description="Print the number of elements, the parse and index time "
                                   "and the most frequent tags.")
    p.add_argument("--top", type=_positive_int, default=10, metavar="N",
                   help="how many tags to list (default: 10)")
    _add_files(p)

    p = command("links", help="every href of an a element",
                       description="Print the href of every a element, one per line; with "
                                   "--absolute, of every a and area element, made absolute.")
    p.add_argument("--absolute", action="store_true",
                   help="resolve each link against the page's <base href> and --base-url")
    _add_base_url(p)
    _add_files(p)
    p = command("images", help="every src of an img element",
                       description="Print the src of every img element, one per line.")
    _add_files(p)

    p = command("text", help="the text a reader sees",
                       description="Print the text a reader sees: blocks on their own lines, "
                                   "hidden elements, scripts and styles left out. --separator, "
                                   "--strip or --with-code print the raw text pieces instead, "
                                   "joined with the separator.")
    p.add_argument("--links", action="store_true",
                   help="follow each link's text with its absolute URL in angle brackets")
    _add_base_url(p)
    _add_main(p)
    p.add_argument("-s", "--separator", type=_separator, default=None, metavar="S",
                   help=r"print the text pieces with S between them; \n and \t are understood")
    p.add_argument("--strip", action="store_true",
                   help="print the text pieces trimmed, the empty ones dropped")
    p.add_argument("--with-code", action="store_true",
                   help="print the text pieces, script and style contents included")
    _add_files(p)

    p = command("markdown", help="the page as Markdown",
                       description="Print the page as Markdown (CommonMark with GitHub tables), "
                                   "links and images made absolute when a base is known.")
    _add_base_url(p)
    _add_main(p)
    _add_files(p)

    p = command("count", help="number of elements with a tag",
                       description="Print the number of elements with the tag TAG (any case).")
    p.add_argument("tag", metavar="TAG")
    _add_files(p)

    p = command(
        "find", help="elements by tag and attributes",
        description="Print the elements with tag TAG (any case; omit it or give * for any "
                    "element) that have every attribute given with --attr: one line per match "
                    "with the tag, the attributes and the text. --attr class=C matches "
                    "elements having C among their classes, as in CSS.",
    )
    p.add_argument("tag", nargs="?", metavar="TAG")
    p.add_argument("-a", "--attr", dest="filters", action="append", type=AttrFilter.parse,
                   default=[], metavar="NAME=VALUE",
                   help="require the attribute (NAME alone: just present); repeatable")
    p.add_argument("--first", action="store_true", help="only the first match of each file")
    p.add_argument("--json", action="store_true",
                   help="JSON lines with keys name, attrs and text")
    p.add_argument("--html", action="store_true",
                   help="print each match's HTML (with --json: an html key)")
    _add_files(p)

    p = command(
        "select", help="elements matching a CSS selector",
        description="Print one line per element matching the CSS selector CSS: its text "
                    "(whitespace collapsed), the value of --attr NAME (elements without it "
                    "are skipped), or its outer HTML with --html. The exit status is 1 when "
                    "nothing matched, as with grep.",
    )
    p.add_argument("css", metavar="CSS")
    shown = p.add_mutually_exclusive_group()
    shown.add_argument("-a", "--attr", dest="attribute", metavar="NAME",
                       help="print the attribute NAME of each match")
    shown.add_argument("--html", action="store_true", help="print each match's outer HTML")
    _add_files(p)
    return parser, commands


def _add_base_url(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--base-url", metavar="URL",
                        help="the page's address, for relative links (a <base href> in the "
                             "page is resolved against it)")


def _add_main(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--main", action="store_true",
                        help="only the page's main content, without menus, footers, share bars "
                             "and the like (nothing for a page without main content)")


def _add_files(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("files", nargs="*", metavar="FILE",
                        help="HTML file, or - for standard input (default: the bundled sample)")


def _fix_find_positionals(parser: argparse.ArgumentParser, args: argparse.Namespace) -> None:
    # `find page.html` reads the file name as TAG: a name with a dot or a slash is a file.
    if args.command == "find" and args.tag is not None:
        if args.tag == "-" or "." in args.tag or "/" in args.tag:
            args.files.insert(0, args.tag)
            args.tag = None
    if args.command == "count" and not args.tag.strip():
        parser.error("TAG must not be empty")
    if args.command == "count" and not args.files and os.path.isfile(args.tag):
        parser.error(f"{args.tag!r} is a file: the form is `count TAG FILE`")
    if args.command == "select":
        try:
            Tree("").select(args.css)  # a bad selector is a usage error, reported once
        except SelectorError as error:
            parser.error(f"bad selector: {error}")


# --- Main -----------------------------------------------------------------------------------


def _tasks(files: list[str], stdin: IO[bytes]) -> list[Task]:
    if not files:
        return [Task(f"<{SAMPLE_NAME}>", None, _read_sample())]
    stdin_data: bytes | None = None
    tasks = []
    for name in files:
        if name == "-":
            if stdin_data is None:
                stdin_data = stdin.read()
            tasks.append(Task("<stdin>", None, stdin_data))
        else:
            tasks.append(Task(name, name, None))
    return tasks


def _outcomes(tasks: list[Task], opts: Options, jobs: int) -> Iterator[Outcome]:
    if jobs <= 1 or len(tasks) <= 1:
        for task in tasks:
            yield process(task, opts)
        return
    if opts.command in THREADED_COMMANDS:
        yield from process_together(tasks, opts, jobs)
        return
    import multiprocessing

    # "spawn": workers start clean instead of inheriting a copy of this process.
    context = multiprocessing.get_context("spawn")
    with ProcessPoolExecutor(max_workers=min(jobs, len(tasks)), mp_context=context) as pool:
        yield from pool.map(_process_star, [(task, opts) for task in tasks])


def parse_arguments(argv: Sequence[str], prog: str = "velkaron") -> argparse.Namespace:
    parser, commands = build_parser(prog)
    if argv and argv[0] in commands:
        # Options and file names may come in any order (`find a --json page.html`), which
        # only intermixed parsing allows, and that does not work through subcommands.
        args = commands[argv[0]].parse_intermixed_args(argv[1:])
        args.command = argv[0]
    else:
        args = parser.parse_args(argv)  # prints help or version, or reports the error
    _fix_find_positionals(commands[args.command], args)
    return args


def main(argv: Sequence[str] | None = None, prog: str = "velkaron") -> int:
    args = parse_arguments(sys.argv[1:] if argv is None else list(argv), prog)

    opts = Options(
        command=args.command,
        encoding=args.encoding,
        top=getattr(args, "top", 10),
        separator=getattr(args, "separator", None) or "",
        strip=getattr(args, "strip", False),
        with_code=getattr(args, "with_code", False),
        pieces=(getattr(args, "separator", None) is not None or getattr(args, "strip", False)
                or getattr(args, "with_code", False)),
        tag=getattr(args, "tag", None),
        filters=tuple(getattr(args, "filters", ())),
        first=getattr(args, "first", False),
        json=getattr(args, "json", False),
        html=getattr(args, "html", False),
        label_json=getattr(args, "json", False) and len(args.files) > 1,
        css=getattr(args, "css", ""),
        attribute=getattr(args, "attribute", None),
        absolute=getattr(args, "absolute", False),
        base_url=getattr(args, "base_url", None),
        links=getattr(args, "links", False),
        main=getattr(args, "main", False),
    )
    tasks = _tasks(args.files, sys.stdin.buffer)
    several = len(tasks) > 1
    out, err = sys.stdout, sys.stderr
    _tolerant(out)
    progress = Progress(len(tasks), err)
    status = 0
    blocks = 0
    matched = False
    try:
        for outcome in _outcomes(tasks, opts, args.jobs):
            progress.clear()
            if outcome.error is not None:
                err.write(f"{prog}: {outcome.error}\n")
                err.flush()
                status = EXIT_ERROR
            else:
                if several and not opts.json:
                    out.write(("\n" if blocks else "") + f"==> {outcome.name} <==\n")
                blocks += 1
                matched = matched or bool(outcome.lines)
                for line in outcome.lines:
                    out.write(line + "\n")
                out.flush()
            progress.advance()
        progress.clear()
    except BrokenPipeError:
        _quiet_broken_pipe()
        return status
    except KeyboardInterrupt:
        progress.clear()
        return 130
    if opts.command == "select" and status == 0 and not matched:
        return EXIT_NO_MATCH
    return status


def _tolerant(stream: IO[str]) -> None:
    # Page text can hold characters the terminal's encoding lacks; show them escaped rather
    # than fail half way through the output.
    reconfigure: Callable[..., None] | None = getattr(stream, "reconfigure", None)
    if reconfigure is not None:
        try:
            reconfigure(errors="backslashreplace")
        except (ValueError, OSError):
            pass


def _quiet_broken_pipe() -> None:
    # The reader went away (`velkaron links big.html | head`): stop without a traceback, and
    # keep the interpreter from failing again when it flushes stdout at exit.
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
    except (OSError, ValueError):
        pass


if __name__ == "__main__":
    sys.exit(main())
