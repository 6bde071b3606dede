"""Deterministic generator of realistic HTML pages for the benchmarks.

A page looks like a news or blog archive: header with navigation and a search form, a main
column of articles (paragraphs with inline markup, figures, tables, lists, forms, code blocks,
embedded JSON), a sidebar and a footer, with inline scripts and styles, character references
and some non-ASCII text. About one block in six carries the kind of damage real pages have:
unclosed p/li/td/tr, stray end tags, misnested inline tags, unquoted and upper-case markup.

The same seed and size always give the same bytes, so figures from different runs and machines
are comparable. Usage:

    python bench/generate.py --out build/bench-inputs            # page-10KB/1MB/10MB.html
    python bench/generate.py --out DIR --sizes 50KB,2MB --seed 7
"""

from __future__ import annotations

import argparse
import random
from pathlib import Path

DEFAULT_SEED = 20240611
# Bumped whenever the output for a given seed changes, so stale inputs are never reused.
GENERATOR_VERSION = 1

SIZES = {"10KB": 10_000, "1MB": 1_000_000, "10MB": 10_000_000}

WORDS = (
    "the of and to in is for on with as by at from that this it be are was an or not have "
    "market city report data study system network design public water energy policy school "
    "health music season league player market price growth quarter results customer service "
    "software release update security feature support version library parser document page "
    "research team project community council budget housing transport climate garden recipe "
    "kitchen travel museum festival weekend history science space mission launch orbit camera "
    "review guide tips analysis interview opinion editorial archive category latest popular"
).split()
# Real pages mix in accented Latin, typography and the odd CJK word.
FOREIGN = ["café", "naïve", "Zürich", "résumé", "São Paulo", "Kraków", "东京", "Ελλάδα", "façade",
           "jalapeño", "Æsir", "smörgåsbord", "–", "—", "…", "“quoted”", "it’s", "€42", "°C"]
ENTITIES = ["&amp;", "&lt;", "&gt;", "&quot;", "&nbsp;", "&copy;", "&eacute;", "&#8217;",
            "&#x2014;", "&hellip;", "&mdash;", "&reg;", "&trade;", "&frac12;"]
SECTIONS = ["world", "politics", "business", "technology", "science", "health", "sports",
            "culture", "travel", "food", "opinion", "video"]
NAMES = ["Ada Moreau", "Bram Okafor", "Chen Wei", "Dana Kowalski", "Elif Şahin", "Femi Adeyemi",
         "Greta Lindqvist", "Hiro Tanaka", "Inès Dubois", "Jonas Berg"]
EXTERNAL_HOSTS = ["example.com", "example.org", "news.example.net", "cdn.example.io",
                  "social.example", "video.example.tv"]


class PageWriter:
    """Accumulates one page; `size` counts characters written so far."""

    def __init__(self, rng: random.Random) -> None:
        self.rng = rng
        self.parts: list[str] = []
        self.size = 0
        self.serial = 0

    def write(self, text: str) -> None:
        self.parts.append(text)
        self.size += len(text)

    def next_id(self) -> int:
        self.serial += 1
        return self.serial

    # -- text -------------------------------------------------------------------------------

    def words(self, low: int, high: int) -> str:
        rng = self.rng
        out = []
        for _ in range(rng.randint(low, high)):
            roll = rng.random()
            if roll < 0.04:
                out.append(rng.choice(FOREIGN))
            elif roll < 0.07:
                out.append(rng.choice(ENTITIES))
            elif roll < 0.08:
                out.append("R&D")  # a bare ampersand, as pages often have
            else:
                out.append(rng.choice(WORDS))
        return " ".join(out)

    def title(self) -> str:
        return self.words(3, 9).capitalize()

    def slug(self) -> str:
        return "-".join(self.rng.choice(WORDS) for _ in range(self.rng.randint(2, 5)))

    def href(self) -> str:
        rng = self.rng
        roll = rng.random()
        if roll < 0.55:
            return f"/{rng.choice(SECTIONS)}/{rng.randint(1000, 99999)}-{self.slug()}"
        if roll < 0.75:
            return f"https://{rng.choice(EXTERNAL_HOSTS)}/{self.slug()}?ref=home&amp;utm={rng.randint(1, 99)}"
        if roll < 0.85:
            return f"#section-{rng.randint(1, 50)}"
        if roll < 0.92:
            return f"../{self.slug()}.html"
        return f"/tags/{rng.choice(WORDS)}"

    def link(self, classes: str = "") -> str:
        rng = self.rng
        href = self.href()
        attrs = f'href="{href}"'
        if classes:
            attrs += f' class="{classes}"'
        if href.startswith("https://"):
            attrs += ' target="_blank" rel="noopener"'
        if rng.random() < 0.1:
            attrs += f' id="ref-{self.next_id()}"'
        if rng.random() < 0.15:
            attrs += f' title="{self.words(2, 5)}"'
        if rng.random() < 0.1:
            attrs += f' data-track="link-{rng.randint(1, 500)}"'
        return f"<a {attrs}>{self.words(1, 5)}</a>"

    def inline_text(self, low: int, high: int) -> str:
        """A run of words with inline markup; sometimes misnested or unclosed."""
        rng = self.rng
        pieces = []
        for _ in range(rng.randint(low, high)):
            roll = rng.random()
            if roll < 0.45:
                pieces.append(self.words(3, 14))
            elif roll < 0.65:
                pieces.append(self.link(rng.choice(["", "", "inline-link", "inline-link external"])))
            elif roll < 0.72:
                pieces.append(f"<em>{self.words(1, 4)}</em>")
            elif roll < 0.79:
                pieces.append(f"<strong>{self.words(1, 4)}</strong>")
            elif roll < 0.83:
                pieces.append(f"<code>{self.words(1, 2)} &lt;= {rng.randint(0, 9)}</code>")
            elif roll < 0.87:
                pieces.append(f'<span class="highlight">{self.words(1, 4)}</span>')
            elif roll < 0.89:
                # Misnested: the adoption agency algorithm has to repair this.
                pieces.append(f"<b>{self.words(1, 3)} <i>{self.words(1, 3)}</b> {self.words(1, 3)}</i>")
            elif roll < 0.90:
                pieces.append(f"{self.words(1, 3)}</span>")  # stray end tag
            elif roll < 0.92:
                pieces.append("<br>")
            elif roll < 0.94:
                pieces.append(f"<abbr title=\"{self.words(2, 4)}\">{self.words(1, 1).upper()}</abbr>")
            else:
                pieces.append(self.words(5, 20))
        return " ".join(pieces)

    # -- blocks -----------------------------------------------------------------------------

    def paragraph(self) -> None:
        closed = self.rng.random() > 0.15  # unclosed <p> is implied-closed by the next block
        self.write(f"<p>{self.inline_text(2, 8)}{'</p>' if closed else ''}\n")

    def figure(self) -> None:
        rng = self.rng
        n = rng.randint(1, 99999)
        width, height = rng.choice([(640, 360), (800, 600), (1200, 675), (300, 300)])
        self.write(
            f'<figure class="media">\n<img src="/images/{n}.jpg" '
            f'srcset="/images/{n}-480.jpg 480w, /images/{n}-960.jpg 960w" '
            f'alt="{self.words(2, 6)}" width="{width}" height="{height}" loading="lazy">\n'
            f"<figcaption>{self.words(4, 12)} <span class=\"credit\">Photo: "
            f"{rng.choice(NAMES)}</span></figcaption>\n</figure>\n"
        )

    def table(self) -> None:
        rng = self.rng
        columns = rng.randint(3, 6)
        rows = rng.randint(3, 15)
        sloppy = rng.random() < 0.3  # unclosed td and tr, as older generators emit
        out = [f'<table class="data-table" id="table-{self.next_id()}">\n<caption>{self.title()}</caption>\n<thead><tr>']
        out += [f'<th scope="col">{self.words(1, 2)}</th>' for _ in range(columns)]
        out.append("</tr></thead>\n<tbody>\n")
        for r in range(rows):
            out.append(f'<tr class="{"odd" if r % 2 else "even"}">')
            for c in range(columns):
                cell = (
                    f"{rng.randint(0, 10000)}.{rng.randint(0, 99):02d}"
                    if c else self.words(1, 3)
                )
                if c == columns - 1 and rng.random() < 0.2:
                    cell = self.link("table-link")
                out.append(f"<td>{cell}" if sloppy else f"<td>{cell}</td>")
            out.append("\n" if sloppy else "</tr>\n")
        out.append("</tbody>\n</table>\n")
        self.write("".join(out))

    def item_list(self) -> None:
        rng = self.rng
        tag = rng.choice(["ul", "ul", "ol"])
        sloppy = rng.random() < 0.3  # unclosed li
        out = [f'<{tag} class="list {tag}-list">\n']
        for _ in range(rng.randint(3, 12)):
            body = self.inline_text(1, 3) if rng.random() < 0.7 else self.link("list-link")
            out.append(f"<li>{body}\n" if sloppy else f'<li class="item">{body}</li>\n')
        out.append(f"</{tag}>\n")
        self.write("".join(out))

    def form(self) -> None:
        rng = self.rng
        n = self.next_id()
        options = "".join(
            f'<option value="{w}"{" selected" if i == 0 else ""}>{w.capitalize()}</option>'
            for i, w in enumerate(rng.sample(WORDS, rng.randint(3, 8)))
        )
        self.write(
            f'<form class="comment-form" id="form-{n}" action="/comments/{n}" method="post">\n'
            f'<input type="hidden" name="csrf" value="{rng.getrandbits(64):016x}">\n'
            f'<div class="field"><label for="name-{n}">Name</label>'
            f'<input type="text" id="name-{n}" name="name" required></div>\n'
            f'<div class="field"><label for="email-{n}">Email</label>'
            f'<input type="email" id="email-{n}" name="email" placeholder="you@example.com"></div>\n'
            f'<div class="field"><label>Topic <select name="topic">{options}</select></label></div>\n'
            f'<div class="field"><textarea name="body" rows="4">{self.words(3, 10)} &lt;b&gt;</textarea></div>\n'
            f'<label><input type="checkbox" name="notify" checked> Notify me</label>\n'
            f'<button type="submit" class="btn btn-primary">Send</button>\n</form>\n'
        )

    def code_block(self) -> None:
        rng = self.rng
        lines = [
            f"if (a &lt; {rng.randint(1, 9)} &amp;&amp; b &gt; c) {{ return &quot;{rng.choice(WORDS)}&quot;; }}"
            for _ in range(rng.randint(2, 8))
        ]
        self.write('<pre class="code"><code class="language-js">' + "\n".join(lines) + "</code></pre>\n")

    def json_ld(self, article_id: int) -> None:
        self.write(
            '<script type="application/ld+json">{"@type": "Article", "id": %d, '
            '"headline": "%s", "keywords": ["a<b", "c&d"]}</script>\n'
            % (article_id, self.rng.choice(WORDS))
        )

    def malformed(self) -> None:
        rng = self.rng
        choice = rng.randrange(6)
        if choice == 0:
            self.write(f"</div><p>{self.words(3, 8)}</p>\n")  # stray end tag
        elif choice == 1:
            self.write(f"<DIV CLASS=Note ID=note-{self.next_id()}>{self.words(3, 8)}</div>\n")
        elif choice == 2:
            self.write(f"<p><font color=red>{self.words(2, 5)}<p>{self.words(2, 5)}</font>\n")
        elif choice == 3:
            self.write(f"<!-- {self.words(3, 8)} --><p>{self.words(2, 5)}<!-- x -- y --></p>\n")
        elif choice == 4:
            self.write(f"<table><tr><td>{self.words(1, 3)}<td>{self.words(1, 3)}</table>\n")
        else:
            self.write(f"<ul><li>{self.words(1, 3)}<li>{self.words(1, 3)}</ul></li>\n")

    def article(self) -> None:
        rng = self.rng
        n = self.next_id()
        classes = "post card" + (" featured" if rng.random() < 0.2 else "")
        section = rng.choice(SECTIONS)
        author = rng.choice(NAMES)
        self.write(
            f'<article id="post-{n}" class="{classes}" data-id="{n}" data-section="{section}">\n'
            f'<header class="post-header">\n<h2 class="post-title"><a href="/{section}/{n}-{self.slug()}" '
            f'class="post-link">{self.title()}</a></h2>\n'
            f'<div class="post-meta">By <a href="/authors/{author.split()[0].lower()}" class="author" '
            f'rel="author">{author}</a> <time datetime="2024-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d}">'
            f"{rng.randint(1, 28)} {rng.choice(['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun'])}</time></div>\n"
            f"</header>\n<section class=\"post-body\">\n"
        )
        for _ in range(rng.randint(3, 9)):
            roll = rng.random()
            if roll < 0.52:
                self.paragraph()
            elif roll < 0.60:
                self.figure()
            elif roll < 0.68:
                self.table()
            elif roll < 0.78:
                self.item_list()
            elif roll < 0.82:
                self.form()
            elif roll < 0.87:
                self.code_block()
            else:
                self.malformed()
        if rng.random() < 0.3:
            self.json_ld(n)
        tags = "".join(
            f'<li><a class="tag" href="/tags/{w}" rel="tag">{w}</a></li>'
            for w in rng.sample(WORDS, rng.randint(1, 5))
        )
        self.write(
            f'</section>\n<footer class="post-footer">\n<ul class="tags">{tags}</ul>\n'
            f'<a class="share" href="https://social.example/share?u=/{section}/{n}" target="_blank" '
            f'rel="noopener">Share</a>\n</footer>\n</article>\n'
        )

    # -- page -------------------------------------------------------------------------------

    def head(self, page_title: str) -> None:
        rng = self.rng
        css = "\n".join(
            f".c{i} > a:hover {{ color: #{rng.getrandbits(24):06x}; content: \"&amp;\"; }}"
            for i in range(rng.randint(5, 15))
        )
        self.write(
            "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            '<meta name="viewport" content="width=device-width, initial-scale=1">\n'
            f"<title>{page_title} &#8212; The Daily Example</title>\n"
            f'<meta name="description" content="{self.words(8, 16)}">\n'
            '<link rel="stylesheet" href="/static/css/site.css">\n'
            '<link rel="icon" href="/favicon.ico">\n'
            f"<style>\n{css}\n</style>\n"
            "<script>\nwindow.dataLayer = window.dataLayer || [];\n"
            "function track(e) { if (e && e.target.tagName < 'Z' && dataLayer.length < 100) "
            "{ dataLayer.push({event: '</' + 'a>'}); } }\n</script>\n</head>\n"
        )

    def site_header(self) -> None:
        rng = self.rng
        nav = "".join(
            f'<li class="nav-item"><a class="nav-link" href="/{s}">{s.capitalize()}</a></li>'
            for s in SECTIONS
        )
        self.write(
            f'<body class="page archive page-{rng.randint(1, 999)}">\n'
            '<header id="site-header" class="site-header">\n'
            '<div class="logo"><a href="/" class="logo-link"><img src="/img/logo.svg" alt="The Daily Example" '
            'width="180" height="40"></a></div>\n'
            f'<nav id="main-nav" class="nav main-nav" aria-label="Main">\n<ul class="nav-list">{nav}</ul>\n</nav>\n'
            '<form class="search-form" role="search" action="/search" method="get">'
            '<input type="search" name="q" placeholder="Search…" aria-label="Search">'
            '<button type="submit" class="btn">Go</button></form>\n</header>\n'
            '<div class="layout">\n<main id="content" class="content">\n'
            f'<h1 class="page-title">{self.title()}</h1>\n'
        )

    def sidebar_and_footer(self) -> None:
        rng = self.rng
        related = "".join(f"<li>{self.link('related-link')}</li>\n" for _ in range(8))
        popular = "".join(
            f'<li class="popular-item"><span class="rank">{i}</span>{self.link("popular-link")}\n'
            for i in range(1, 6)
        )
        footer_links = "".join(
            f'<li><a href="/{w}" class="footer-link">{w.capitalize()}</a></li>'
            for w in ["about", "contact", "privacy", "terms", "careers", "advertise"]
        )
        self.write(
            "</main>\n<aside id=\"sidebar\" class=\"sidebar\">\n"
            f'<section class="widget related"><h3>Related</h3>\n<ul>\n{related}</ul></section>\n'
            f'<section class="widget popular"><h3>Popular</h3>\n<ol>\n{popular}</ol></section>\n'
            '<section class="widget newsletter"><h3>Newsletter</h3><form action="/subscribe" method="post">'
            '<input type="email" name="email" placeholder="Email"><button class="btn">Subscribe</button>'
            "</form></section>\n</aside>\n</div>\n"
            f'<footer id="site-footer" class="site-footer">\n<ul class="footer-links">{footer_links}</ul>\n'
            f"<p class=\"copyright\">&copy; 2024 The Daily Example &mdash; {self.words(4, 8)}</p>\n</footer>\n"
            '<script src="/static/js/app.js" defer></script>\n'
            f"<script>track({{target: {{tagName: 'A'}}}}); var x = {rng.randint(1, 9)} < 10 && true;</script>\n"
            "</body>\n</html>\n"
        )


def generate_page(target_size: int, seed: int = DEFAULT_SEED) -> str:
    """A page of about `target_size` characters (a little over), the same for the same seed."""
    page = PageWriter(random.Random(f"{seed}:{target_size}"))
    page.head(page.title())
    page.site_header()
    # The sidebar and footer add about 3 KB; stop the articles early enough for them.
    while page.size < target_size - 3_000:
        page.article()
    page.sidebar_and_footer()
    return "".join(page.parts)


def parse_size(text: str) -> int:
    text = text.strip().upper()
    for suffix, factor in (("KB", 1_000), ("MB", 1_000_000), ("B", 1)):
        if text.endswith(suffix):
            return int(float(text[: -len(suffix)]) * factor)
    return int(text)


def write_inputs(out_dir: Path, sizes: list[str], seed: int = DEFAULT_SEED) -> list[Path]:
    """Writes page-<SIZE>.html for each size label, skipping files already up to date."""
    out_dir.mkdir(parents=True, exist_ok=True)
    paths = []
    for label in sizes:
        path = out_dir / f"page-{label}.html"
        stamp = out_dir / f".page-{label}.stamp"
        wanted = f"{GENERATOR_VERSION}:{seed}:{parse_size(label)}"
        if not (path.exists() and stamp.exists() and stamp.read_text() == wanted):
            path.write_text(generate_page(parse_size(label), seed), encoding="utf-8")
            stamp.write_text(wanted)
        paths.append(path)
    return paths


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=Path("build/bench-inputs"))
    parser.add_argument("--sizes", default=",".join(SIZES), help="comma-separated, e.g. 10KB,1MB")
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED)
    args = parser.parse_args()
    for path in write_inputs(args.out, args.sizes.split(","), args.seed):
        print(f"{path}  {path.stat().st_size:,} bytes")


if __name__ == "__main__":
    main()
