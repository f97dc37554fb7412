#!/usr/bin/env python3
"""Turns the user guide (Markdown) into the HTML page that the installer and
the package install, with its pictures beside it.

Usage: user_guide.py GUIDE.md OUT.html [--skip-missing-pictures]

Writes OUT.html and the pictures it shows into a folder pictures/ beside it. A picture the guide
shows is looked up relative to the guide (the demo plots are in dist/demo after
scripts/build.sh); a missing one fails, unless --skip-missing-pictures is
given (test packages made without the demo), which leaves its caption."""
import argparse
import html
import re
import shutil
import sys
from pathlib import Path

import markdown

IMAGE = re.compile(r"!\[([^\]]*)\]\(([^)\s]+)\)")

PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{title}</title>
<style>
body {{ font-family: "Segoe UI", Roboto, sans-serif; max-width: 62em; margin: 2em auto; padding: 0 1em;
       line-height: 1.45; color: #222; }}
img {{ max-width: 100%; }}
table {{ border-collapse: collapse; }}
th, td {{ border: 1px solid #bbb; padding: 0.25em 0.6em; text-align: left; vertical-align: top; }}
code, pre {{ background: #f3f3f3; }}
pre {{ padding: 0.6em; overflow-x: auto; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""


def collect_pictures(text, guide_dir, pictures_dir, skip_missing):
    """Copies every picture the guide shows and points the guide at the copies."""
    missing = []

    def relink(match):
        alt, target = match.group(1), match.group(2)
        source = (guide_dir / target).resolve()
        if not source.is_file():
            missing.append(target)
            return f"*({alt})*"
        pictures_dir.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, pictures_dir / source.name)
        return f"![{alt}](pictures/{source.name})"

    text = IMAGE.sub(relink, text)
    if missing and not skip_missing:
        sys.exit("user_guide: pictures missing (run scripts/build.sh first): " + ", ".join(missing))
    return text


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("guide", type=Path)
    parser.add_argument("out", type=Path)
    parser.add_argument("--skip-missing-pictures", action="store_true")
    args = parser.parse_args()

    text = args.guide.read_text(encoding="utf-8")
    args.out.parent.mkdir(parents=True, exist_ok=True)
    text = collect_pictures(text, args.guide.parent, args.out.parent / "pictures", args.skip_missing_pictures)
    title = text.splitlines()[0].lstrip("# ").strip()
    body = markdown.markdown(text, extensions=["tables", "fenced_code"])
    page = PAGE.format(title=html.escape(title), body=body)
    args.out.write_text(page, encoding="utf-8")


if __name__ == "__main__":
    main()
