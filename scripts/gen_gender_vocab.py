#!/usr/bin/env python3
"""Writes examples/kb/vocab/en_gender.xml, the vocabulary of the sample gender
analysis definition, from examples/kb/names/gender.txt.

Usage: scripts/gen_gender_vocab.py   (run it again after changing the list)

What this script decides, and why:

* Each line is a given name and M, F or B. M gives the category MALE, F
  FEMALE, B both (the gender definition then scores a tie, which leaves the
  default "U"). Words are uppercased, as the engine looks them up uppercased.
* Likelihood 90 for a single category, 50 for each of two.
* Lines starting with '#' and blank lines are skipped; a name repeated
  counts once, at its first place.
"""
from pathlib import Path
from xml.sax.saxutils import escape

ROOT = Path(__file__).resolve().parent.parent / "examples" / "kb"
CATEGORIES = {"M": ["MALE"], "F": ["FEMALE"], "B": ["FEMALE", "MALE"]}


def main():
    entries = {}
    for line in (ROOT / "names" / "gender.txt").read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        name, gender = line.split()
        entries.setdefault(name.upper(), CATEGORIES[gender])
    records = []
    for word in sorted(entries, key=lambda s: s.encode()):
        cats = entries[word]
        like = 90 if len(cats) == 1 else 50
        for cat in cats:
            records.append(
                f'            <record key="{escape(word)}">\n'
                f'                <field column="Likelihood">{like}</field>\n'
                f'                <field column="CategoryAbbreviation">{cat}</field>\n'
                f"            </record>")
    text = f"""<?xml version="1.0" encoding="UTF-8"?>
<!-- Made by scripts/gen_gender_vocab.py from examples/kb/names/gender.txt; edit the list, not this file. -->
<krxml>
    <file type="Vocabulary" version="7.0">
        <property name="Locale Code">29000</property>
        <property name="Vault Object Name">en_gender</property>
        <property name="Description">Given names by gender</property>
        <property name="Locale ISO Code">EN</property>
        <property name="Locale Description">English</property>
        <include name="Category">
            <file type="Category" version="7.0">
                <data length="2">
                    <layout width="1">
                        <column type="string">CategoryName</column>
                    </layout>
                    <record key="FEMALE">
                        <field column="CategoryName">FEMALE</field>
                    </record>
                    <record key="MALE">
                        <field column="CategoryName">MALE</field>
                    </record>
                </data>
            </file>
        </include>
        <data length="{len(records)}">
            <layout width="2">
                <column type="int">Likelihood</column>
                <column type="string">CategoryAbbreviation</column>
            </layout>
{chr(10).join(records)}
        </data>
    </file>
</krxml>
"""
    (ROOT / "vocab" / "en_gender.xml").write_text(text, encoding="utf-8")


if __name__ == "__main__":
    main()
