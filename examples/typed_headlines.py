"""List the stories of a page as typed records, with their links and word counts.

    python examples/typed_headlines.py [page.html]

With no argument it reads the sample page bundled with velkaron. The code is checked with
``mypy --strict``: every value that can be missing (a parent, a first match) is typed
``Node | None`` and has to be tested before use.
"""

from __future__ import annotations

import sys
from dataclasses import dataclass
from importlib import resources
from pathlib import Path

from velkaron import Node, Tree


@dataclass(frozen=True)
class Story:
    ident: str
    section: str
    headline: str
    href: str
    words: int


def load(path: str | None) -> str:
    if path is None:
        return resources.files("velkaron").joinpath("data", "sample.html").read_text("utf-8")
    return Path(path).read_text("utf-8", errors="replace")


def has_class(node: Node, name: str) -> bool:
    return name in node.get_attribute("class").split()


def story_of(article: Node) -> Story | None:
    heading = article.find("h1") or article.find("h3")
    if heading is None:
        return None
    link = heading.find("a")
    href = link.get_attribute("href") if link is not None else ""
    return Story(
        ident=article.get_attribute("id"),
        section=article.get_attribute("data-section"),
        headline=heading.get_text_stripped(),
        href=href,
        words=sum(len(s.split()) for s in article.get_stripped_strings()),
    )


def stories(html: str) -> list[Story]:
    root: Node = Tree(html).get_root()
    found: list[Story] = []
    for article in root.find_all("article"):
        if has_class(article, "article"):
            story = story_of(article)
            if story is not None:
                found.append(story)
    return found


def main(argv: list[str]) -> int:
    for story in stories(load(argv[1] if len(argv) > 1 else None)):
        print(f"{story.ident:<9} {story.section:<7} {story.words:>4} words  {story.headline}"
              + (f"  <{story.href}>" if story.href else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
