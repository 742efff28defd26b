#!/usr/bin/env python3
"""Writes examples/kb/vocab/en_person.xml, the vocabulary of the sample
knowledge base, from the word lists in examples/kb/names/.

Usage: scripts/gen_name_vocab.py   (run it again after changing a list)

What this script decides, and why:

* Each list gives its words one category: given.txt GIVEN, family.txt
  FAMILY, prefixes.txt PREFIX, suffixes.txt SUFFIX, organisation.txt ORG.
  Words are uppercased, as the analysis looks them up uppercased.
* Likelihoods: a word on one of the two name lists only is 90 there. A word
  on both (Thomas, Taylor, Lee ...) is 90 in the list where it stands
  nearer the top, and 50 in the other, so that the grammar
  still accepts it in either place but prefers its usual one. Titles and
  suffixes are 90, organisation words 70.
* Lines starting with '#' and blank lines are skipped; a word repeated in a
  list counts once, at its first place.
"""
from pathlib import Path
from xml.sax.saxutils import escape

ROOT = Path(__file__).resolve().parent.parent / "examples" / "kb"
LISTS = [  # file, category, description
    ("given.txt", "GIVEN", "Given name"),
    ("family.txt", "FAMILY", "Family name"),
    ("prefixes.txt", "PREFIX", "Title before a name"),
    ("suffixes.txt", "SUFFIX", "Suffix after a name"),
    ("organisation.txt", "ORG", "Word of an organisation's name"),
]
FIXED = {"PREFIX": 90, "SUFFIX": 90, "ORG": 70}


def read_list(name):
    words = []
    for line in (ROOT / "names" / name).read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        word = line.upper()
        if word not in words:
            words.append(word)
    return words


def main():
    lists = {cat: read_list(f) for f, cat, _ in LISTS}
    rank = {cat: {w: i for i, w in enumerate(ws)} for cat, ws in lists.items()}
    entries = {}  # word -> {category: likelihood}
    for _, cat, _ in LISTS:
        for word in lists[cat]:
            if cat in FIXED:
                like = FIXED[cat]
            else:
                other = "FAMILY" if cat == "GIVEN" else "GIVEN"
                like = 90 if word not in rank[other] or rank[cat][word] <= rank[other][word] else 50
            entries.setdefault(word, {})[cat] = like
    records = []
    for word in sorted(entries, key=lambda s: s.encode()):
        for cat, like in sorted(entries[word].items()):
            records.append(
                '<record key="%s"><field column="Likelihood">%d</field>'
                '<field column="CategoryAbbreviation">%s</field></record>' % (escape(word, {'"': "&quot;"}), like, cat))
    cats = ['<record key="%s"><field column="CategoryName">%s</field></record>' % (cat, escape(desc))
            for _, cat, desc in LISTS]
    out = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        "<!-- Made by scripts/gen_name_vocab.py from examples/kb/names/; edit the lists, not this file. -->",
        "<krxml>",
        '<file type="Vocabulary" version="7.0">',
        '<property name="Locale ISO Code">EN</property>',
        '<property name="Locale Description">English</property>',
        '<property name="Locale Code">29000</property>',
        '<property name="Vault Object Name">en_person</property>',
        '<property name="Vault Description">Words of personal names</property>',
        '<include name="Category">',
        '<file type="Category" version="7.0">',
        '<data length="%d">' % len(cats),
        '<layout width="1"><column type="string">CategoryName</column></layout>',
        *cats,
        "</data>",
        "</file>",
        "</include>",
        '<data length="%d">' % len(records),
        '<layout width="2"><column type="int">Likelihood</column>'
        '<column type="string">CategoryAbbreviation</column></layout>',
        *records,
        "</data>",
        "</file>",
        "</krxml>",
    ]
    (ROOT / "vocab" / "en_person.xml").write_text("\n".join(out) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
