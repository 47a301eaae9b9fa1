#!/usr/bin/env python3
"""Checks the message catalogs against the sources (a test of the test command):

    po/check_catalog.py SOURCE_DIR            check; exit 1 with every problem listed
    po/check_catalog.py --update SOURCE_DIR   merge the marked texts into po/*.po (msgmerge)

The texts to translate are the ones the sources mark: Tr("..."), TrNoop("..."),
TrFormat("...", ...) and QTr("...") (platform/translate.h, ui/texts.h), as xgettext finds them.
Every catalog po/LANG.po must hold exactly those texts, each translated, none fuzzy, and pass
msgfmt --check (the printf placeholders of a translation are those of its text). A Chinese text
in the sources that is not marked fails the check too, unless it is a log line (the log stays
Chinese) or one of KEPT below.
"""
import glob
import os
import re
import subprocess
import sys
import tempfile

# The folders of the program's sources.
SOURCE_FOLDERS = ("platform", "log", "settings", "exif", "engine", "library", "update", "uicore", "ui",
                  "winui", "app", "cli")
# The marking functions, as xgettext keywords.
KEYWORDS = ("Tr", "TrNoop", "TrFormat", "QTr")
# Functions whose texts are log lines, which stay Chinese in every language.
LOG_KEYWORDS = ("Log", "LogText", "LogHex", "LogFormat", "LogFormatAt:2")
# Files of English documentation, which quote the Chinese texts of the window as they are.
DOCUMENTATION = ("cli/usage.cpp", "cli/manual.cpp")
# Chinese texts of the sources that are the same in every language, and why.
KEPT = {
    "年": "the year folders (YYYY年) name the user's library, whatever the language",
    "宋体": "the name of a font",
    "语言 / Language": "the options window's language row reads in both languages",
    "简体中文": "a language is named in itself",
    "(恢复": "a recovered source's file name, found again by later runs, whatever the language",
    "(恢复)": "a recovered source's file name, found again by later runs, whatever the language",
}

CJK = re.compile("[\u2e80-\u9fff\uf900-\ufaff\uff00-\uffef]")


def sources(root):
    found = []
    for folder in SOURCE_FOLDERS:
        for pattern in ("*.cpp", "*.h"):
            found += glob.glob(os.path.join(root, folder, pattern))
    return sorted(os.path.relpath(path, root) for path in found)


def unquote(text):
    """The value of a PO string's inside (C escapes)."""
    out, i = [], 0
    escapes = {"n": "\n", "t": "\t", "r": "\r", '"': '"', "\\": "\\", "a": "\a", "b": "\b",
               "f": "\f", "v": "\v"}
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            i += 1
            if text[i] in escapes:
                out.append(escapes[text[i]])
            elif text[i] in "01234567":
                digits = re.match("[0-7]{1,3}", text[i:]).group(0)
                out.append(chr(int(digits, 8)))
                i += len(digits) - 1
            else:
                out.append(text[i])
        else:
            out.append(c)
        i += 1
    return "".join(out)


def parse_po(path):
    """The entries of a PO file: dicts of msgid, msgstr, flags and references; obsolete (#~)
    entries are left out."""
    entries, entry, field = [], None, None

    def finish():
        if entry is not None and "msgid" in entry:
            entries.append(entry)

    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if not line.strip():
                continue
            if line.startswith("#~"):
                continue
            if line.startswith("#") and (entry is None or "msgid" in entry):
                finish()
                entry, field = {"flags": set(), "refs": []}, None
            if entry is None:
                entry = {"flags": set(), "refs": []}
            if line.startswith("#,"):
                entry["flags"].update(flag.strip() for flag in line[2:].split(","))
            elif line.startswith("#:"):
                entry["refs"] += line[2:].split()
            elif line.startswith("#"):
                pass
            elif line.startswith('"'):
                entry[field] += unquote(line[1:-1])
            else:
                keyword, _, rest = line.partition(" ")
                if keyword == "msgid" and "msgid" in entry:
                    finish()
                    entry = {"flags": set(), "refs": []}
                field = keyword
                entry[field] = unquote(rest.strip()[1:-1])
    finish()
    return entries


def xgettext(root, files, keywords, output, extra=()):
    command = ["xgettext", "--from-code=UTF-8", "--language=C++", "--sort-by-file",
               "--add-location=file", "-o", output]
    if keywords:
        # Only these functions, not gettext's own names.
        command += ["-k"] + [f"--keyword={k}" for k in keywords]
    command += ["--force-po"] + list(extra) + files
    # xgettext's advice (non-ASCII source texts, "\r") does not apply here: only its failure
    # is shown.
    result = subprocess.run(command, cwd=root, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"xgettext failed:\n{result.stderr}")


def marked_pot(root, folder):
    pot = os.path.join(folder, "nandell.pot")
    xgettext(root, sources(root), KEYWORDS, pot, ["--flag=TrFormat:1:c-format"])
    return pot


def catalogs(root):
    return sorted(glob.glob(os.path.join(root, "po", "*.po")))


def show(text):
    return text.encode("unicode_escape").decode("ascii") if "\n" in text else text


def check(root):
    problems = []
    with tempfile.TemporaryDirectory() as folder:
        marked = {e["msgid"]: e for e in parse_po(marked_pot(root, folder)) if e["msgid"]}
        everything = os.path.join(folder, "all.pot")
        xgettext(root, sources(root), (), everything, ["-a"])
        logs = os.path.join(folder, "log.pot")
        xgettext(root, sources(root), LOG_KEYWORDS, logs)
        log_lines = {e["msgid"] for e in parse_po(logs)}
        all_texts = parse_po(everything)

    # Chinese texts nobody marked.
    seen_kept = set()
    for entry in all_texts:
        text = entry["msgid"]
        if not CJK.search(text) or text in marked or text in log_lines:
            continue
        files = {ref.split(":")[0] for ref in entry["refs"]}
        if files and files <= set(DOCUMENTATION):
            continue
        if text in KEPT:
            seen_kept.add(text)
            continue
        problems.append(f"not marked for translation: \"{show(text)}\" ({', '.join(sorted(files))})"
                        "; mark it with Tr/TrNoop/TrFormat/QTr, or add it to KEPT in "
                        "po/check_catalog.py with the reason it stays Chinese")
    for text in sorted(set(KEPT) - seen_kept):
        problems.append(f"KEPT names a text the sources no longer hold: \"{text}\"")

    for path in catalogs(root):
        name = os.path.relpath(path, root)
        result = subprocess.run(["msgfmt", "--check", "-o", os.devnull, path],
                                capture_output=True, text=True)
        if result.returncode != 0:
            problems.append(f"{name}: msgfmt --check:\n{result.stderr.strip()}")
        entries = {e["msgid"]: e for e in parse_po(path) if e["msgid"]}
        for text in sorted(set(marked) - set(entries)):
            problems.append(f"{name}: no translation of \"{show(text)}\" (run the update-po "
                            "target, then translate it)")
        for text in sorted(set(entries) - set(marked)):
            problems.append(f"{name}: \"{show(text)}\" is no longer marked in the sources")
        for text, entry in sorted(entries.items()):
            if "fuzzy" in entry["flags"]:
                problems.append(f"{name}: the translation of \"{show(text)}\" is fuzzy")
            elif not entry.get("msgstr"):
                problems.append(f"{name}: \"{show(text)}\" is not translated")
            if text in marked and "c-format" in marked[text]["flags"] and \
                    "c-format" not in entry["flags"]:
                problems.append(f"{name}: \"{show(text)}\" lacks its c-format flag, so its "
                                "placeholders are not checked")
    for problem in problems:
        print(problem)
    if not problems:
        print(f"{len(marked)} marked texts, every one translated in "
              f"{', '.join(os.path.basename(p) for p in catalogs(root))}")
    return 1 if problems else 0


def update(root):
    with tempfile.TemporaryDirectory() as folder:
        pot = marked_pot(root, folder)
        for path in catalogs(root):
            subprocess.run(["msgmerge", "--quiet", "--update", "--backup=none",
                            "--add-location=file", path, pot], check=True)
            print("updated", os.path.relpath(path, root))
    return 0


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    root = os.path.abspath(args[0])
    return update(root) if "--update" in argv else check(root)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
