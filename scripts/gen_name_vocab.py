#!/usr/bin/env python3
"""Writes examples/kb/vocab/en_person.xml, the vocabulary of the sample
knowledge base, examples/kb/vocab/en_name_noise.xml, the particles the
match definition "Name" leaves out, and examples/kb/regexlib/en_name_particles.xml,
which moves them behind the family name they belong to, from the word lists
in examples/kb/names/.

Usage: scripts/gen_name_vocab.py   (run it again after changing a list)

What this script decides, and why:

* Each list gives its words one category: given.txt GIVEN, family.txt
  FAMILY, prefixes.txt PREFIX, given_prefixes.txt GPREFIX (titles that go
  with a given name alone, "Sir Gerald"), suffixes.txt SUFFIX,
  organisation.txt ORG, particles.txt PARTICLE ("van", "de la"),
  conjunctions.txt AND ("and", "&", "y"). Words are uppercased, as the
  analysis looks them up uppercased.
* Likelihoods: a word on one of the two name lists only is 90 there. A word
  on both (Thomas, Taylor, Lee ...) is 90 in the list where it stands
  nearer the top, and 50 in the other, so that the grammar
  still accepts it in either place but prefers its usual one. A particle
  that is also a name ("Van", "Le") is 50 as that name, so that the grammar
  reads it as a particle when a family name follows it. Every other
  category is 90, organisation words 70.
* A one-letter word of these lists ("y") is also an INITIAL at 70, as the
  categorization regex library en_initial would have made it: the analysis
  asks the regex libraries only about words the vocabulary does not know,
  and "John Y. Smith" still has a middle initial.
* The noise vocabulary holds the particles, category NOISE.
* The regex library en_name_particles takes the particles that open a
  family name ("VAN DER WAALS") to its end ("WAALS VAN DER"): a match code
  keeps the first characters of the family name, and the particles would
  fill them. A family name made of particles alone stays as it is.
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
    ("given_prefixes.txt", "GPREFIX", "Title before a given name alone"),
    ("suffixes.txt", "SUFFIX", "Suffix after a name"),
    ("organisation.txt", "ORG", "Word of an organisation's name"),
    ("particles.txt", "PARTICLE", "Particle of a family name"),
    ("conjunctions.txt", "AND", "Word joining two names"),
]
NAMES = ("GIVEN", "FAMILY")
INITIAL = ("INITIAL", "Initial", 70)
FIXED = {"ORG": 70}


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


def vocabulary(name, description, cats, entries, version):
    records = []
    for word in sorted(entries, key=lambda s: s.encode()):
        for cat, like in sorted(entries[word].items()):
            records.append(
                '<record key="%s"><field column="Likelihood">%d</field>'
                '<field column="CategoryAbbreviation">%s</field></record>' % (escape(word, {'"': "&quot;"}), like, cat))
    cat_records = ['<record key="%s"><field column="CategoryName">%s</field></record>' % (cat, escape(desc))
                   for cat, desc in cats]
    out = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        "<!-- Made by scripts/gen_name_vocab.py from examples/kb/names/; edit the lists, not this file. -->",
        "<krxml>",
        '<file type="Vocabulary" version="%s">' % version,
        '<property name="Locale ISO Code">EN</property>',
        '<property name="Locale Description">English</property>',
        '<property name="Locale Code">29000</property>',
        '<property name="Vault Object Name">%s</property>' % name,
        '<property name="Vault Description">%s</property>' % escape(description),
        '<include name="Category">',
        '<file type="Category" version="%s">' % version,
        '<data length="%d">' % len(cat_records),
        '<layout width="1"><column type="string">CategoryName</column></layout>',
        *cat_records,
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
    (ROOT / "vocab" / (name + ".xml")).write_text("\n".join(out) + "\n", encoding="utf-8")


def particle_regexlib(particles):
    # Longer words first, so that the first try is the whole word.
    words = "|".join(sorted(particles, key=lambda w: (-len(w), w)))
    regex = r"(?i)^((?:(?:%s)\s+)*(?:%s))\s+(?!(?:%s)(?:\s|$))(\S.*)$" % (words, words, words)
    note = ("The particles opening a family name go behind it (VAN DER WAALS: WAALS VAN DER), so that "
            "they do not take the places of the name's own letters in a match code")
    out = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        "<!-- Made by scripts/gen_name_vocab.py from examples/kb/names/particles.txt; edit the list, not this file. -->",
        "<krxml>",
        '<file type="Regexlib" version="7.0">',
        '<property name="Locale ISO Code">EN</property>',
        '<property name="Locale Description">English</property>',
        '<property name="Locale Code">29000</property>',
        '<property name="Vault Object Name">en_name_particles</property>',
        '<property name="Vault Description">Particles of family names after the name</property>',
        '<data length="1">',
        '<layout width="4"><column type="string">Regex</column><column type="string">Substitution V7</column>'
        '<column type="string">Notes</column><column type="int">Options</column></layout>',
        '<record><field column="Regex">%s</field><field column="Substitution V7">\\2 \\1</field>'
        '<field column="Notes">%s</field><field column="Options">1</field></record>' % (escape(regex), escape(note)),
        "</data>",
        "</file>",
        "</krxml>",
    ]
    (ROOT / "regexlib" / "en_name_particles.xml").write_text("\n".join(out) + "\n", encoding="utf-8")


def main():
    lists = {cat: read_list(f) for f, cat, _ in LISTS}
    rank = {cat: {w: i for i, w in enumerate(ws)} for cat, ws in lists.items()}
    particles = set(lists["PARTICLE"])
    entries = {}  # word -> {category: likelihood}
    for _, cat, _ in LISTS:
        for word in lists[cat]:
            if cat in NAMES:
                other = "FAMILY" if cat == "GIVEN" else "GIVEN"
                usual = word not in rank[other] or rank[cat][word] <= rank[other][word]
                like = 90 if usual and word not in particles else 50
            else:
                like = FIXED.get(cat, 90)
            entries.setdefault(word, {})[cat] = like
            if len(word) == 1 and word.isalpha():
                entries[word][INITIAL[0]] = INITIAL[2]
    cats = [(cat, desc) for _, cat, desc in LISTS] + [INITIAL[:2]]
    vocabulary("en_person", "Words of personal names", cats, entries, "7.0")
    noise = {word: {"NOISE": 90} for word in lists["PARTICLE"]}
    vocabulary("en_name_noise", "Particles of family names", [("NOISE", "A word left out of match codes")], noise, "7.0")
    particle_regexlib(lists["PARTICLE"])


if __name__ == "__main__":
    main()
