#!/usr/bin/env python3
"""Writes src/kbstore/krlocl_table.inc, the engine's built-in table of 511
locales, from the ISO 639 and ISO 3166-1 data of Debian's iso-codes package
(apt-get install iso-codes; /usr/share/iso-codes/json/).

Usage: scripts/gen_locale_table.py [output]   (default: src/kbstore/krlocl_table.inc)

What this script decides, and why:

* Languages (125): ISO 639-1 languages for which both ICU (CLDR) and glibc
  ship a locale, plus eight national languages that only one of them ships
  (Quechua, Romansh, Rundi, Shona, Southern Sotho, Tswana, Haitian, Divehi).
  Their descriptions are the ISO 639 names, shortened where the ISO name is
  not a plain language name (see LANGUAGE_NAMES).
* Country locales (353): the language-territory pairs for which ICU or glibc
  ship a locale, leaving out pairs in dependent territories and pairs that
  only ICU lists where the language has no official standing (see PAIRS).
  Their descriptions read "<language> (<country>)" with the ISO 3166-1 name
  (its short common name where it has one).
* Codes: a language's code is its number x 1000; a country locale adds the
  ISO 3166-1 numeric code of the country (DE 39000, DEDEU 39276). Languages
  are numbered in alphabetical order of their descriptions, one apart, the
  numbers jumping forward to the fixed numbers of FIXED_NUMBERS. Azerbaijani
  and Lithuanian have fixed codes of their own (SPECIAL_CODES), and their
  country locales are the language's code + 10.
* Default encodings: the single-byte charsets of LEGACY_ENCODINGS for the
  language rows of the languages they were made for and for the locales of
  the countries where that charset was the usual one; UTF-8 (13) elsewhere.
* Ancestors: a language inherits from the pseudo-locale of its charset (L1,
  L2, LS, LC, L5) or, for every other charset, from GB; a country locale
  lists its language and that language's ancestors. AFZAF inherits from
  English (South Africa) first.

Every count and fixed row is checked before anything is written.
"""
import json
import sys
from pathlib import Path

ISO_DIR = Path("/usr/share/iso-codes/json")

# Language -> its countries (ISO 3166-1 alpha-3).
PAIRS = {
    "af": "NAM ZAF",
    "ak": "GHA",
    "am": "ETH",
    "ar": "ARE BHR COM DJI DZA EGY ERI IND IRQ JOR KWT LBN LBY MAR MRT OMN PSE QAT SAU SDN SOM SSD SYR TCD TUN YEM",
    "as": "IND",
    "az": "AZE",
    "be": "BLR",
    "bg": "BGR",
    "bn": "BGD IND",
    "bo": "CHN IND",
    "br": "FRA",
    "bs": "BIH",
    "ca": "AND ESP FRA ITA",
    "ce": "RUS",
    "cs": "CZE",
    "cv": "RUS",
    "cy": "GBR",
    "da": "DNK",
    "de": "AUT BEL CHE DEU ITA LIE LUX",
    "dv": "MDV",
    "dz": "BTN",
    "el": "CYP GRC",
    "en": "ATG AUS BDI BHS BLZ BRB BWA CAN CMR DMA DNK ERI FJI FSM GBR GHA GMB GRD GUY HKG IND IRL ISR JAM KEN KIR "
          "KNA LBR LCA LSO MHL MLT MUS MWI MYS NAM NGA NRU NZL PAK PHL PLW PNG RWA SDN SGP SLB SLE SSD SWZ SYC TON TTO "
          "TUV TZA UGA USA VCT VUT WSM ZAF ZMB ZWE",
    "es": "ARG BOL CHL COL CRI CUB DOM ECU ESP GNQ GTM HND MEX NIC PAN PER PHL PRI PRY SLV URY USA VEN",
    "et": "EST",
    "eu": "ESP FRA",
    "fa": "AFG IRN",
    "ff": "BFA CMR GHA GIN GMB GNB LBR MRT NER NGA SEN SLE",
    "fi": "FIN",
    "fo": "DNK FRO",
    "fr": "BDI BEL BEN BFA CAF CAN CHE CIV CMR COD COG COM DJI FRA GAB GIN GNQ HTI LUX MCO MDG MLI MRT NER RWA SEN "
          "SYC TCD TGO VUT",
    "fy": "DEU NLD",
    "ga": "GBR IRL",
    "gd": "GBR",
    "gl": "ESP",
    "gu": "IND",
    "gv": "GBR",
    "ha": "GHA NER NGA",
    "he": "ISR",
    "hi": "IND",
    "hr": "BIH HRV",
    "ht": "HTI",
    "hu": "HUN",
    "hy": "ARM",
    "id": "IDN",
    "ig": "NGA",
    "is": "ISL",
    "it": "CHE ITA SMR VAT",
    "ja": "JPN",
    "ka": "GEO",
    "kk": "KAZ",
    "kl": "GRL",
    "km": "KHM",
    "kn": "IND",
    "ko": "KOR PRK",
    "ks": "IND",
    "ku": "TUR",
    "kw": "GBR",
    "ky": "KGZ",
    "lb": "LUX",
    "lg": "UGA",
    "ln": "AGO CAF COD COG",
    "lo": "LAO",
    "lt": "LTU",
    "lv": "LVA",
    "mg": "MDG",
    "mi": "NZL",
    "mk": "MKD",
    "ml": "IND",
    "mn": "MNG",
    "mr": "IND",
    "ms": "BRN IDN MYS SGP",
    "mt": "MLT",
    "my": "MMR",
    "nb": "NOR",
    "ne": "IND NPL",
    "nl": "ABW BEL NLD SUR",
    "nn": "NOR",
    "om": "ETH KEN",
    "or": "IND",
    "os": "GEO RUS",
    "pa": "IND PAK",
    "pl": "POL",
    "ps": "AFG PAK",
    "pt": "AGO BRA CPV GNB GNQ MOZ PRT STP TLS",
    "qu": "BOL ECU PER",
    "rm": "CHE",
    "rn": "BDI",
    "ro": "MDA ROU",
    "ru": "BLR KAZ KGZ MDA RUS UKR",
    "rw": "RWA",
    "sa": "IND",
    "sc": "ITA",
    "sd": "IND PAK",
    "se": "FIN NOR SWE",
    "si": "LKA",
    "sk": "SVK",
    "sl": "SVN",
    "sn": "ZWE",
    "so": "DJI ETH KEN SOM",
    "sq": "ALB MKD",
    "sr": "BIH MNE SRB",
    "st": "ZAF",
    "sv": "FIN SWE",
    "sw": "COD KEN TZA UGA",
    "ta": "IND LKA MYS SGP",
    "te": "IND",
    "tg": "TJK",
    "th": "THA",
    "ti": "ERI ETH",
    "tk": "TKM",
    "tn": "ZAF",
    "to": "TON",
    "tr": "CYP TUR",
    "tt": "RUS",
    "ug": "CHN",
    "uk": "UKR",
    "ur": "IND PAK",
    "uz": "AFG UZB",
    "vi": "VNM",
    "wo": "SEN",
    "xh": "ZAF",
    "yo": "BEN NGA",
    "zh": "CHN HKG SGP TWN",
    "zu": "ZAF",
}

# ISO 639 names that are not plain language names (macrolanguage notes,
# qualified or older forms): the name used instead.
LANGUAGE_NAMES = {
    "dv": "Divehi",
    "el": "Greek",
    "ht": "Haitian Creole",
    "ky": "Kyrgyz",
    "ms": "Malay",
    "ne": "Nepali",
    "or": "Odia",
    "pa": "Punjabi",
    "ps": "Pashto",
    "sw": "Swahili",
    "to": "Tongan",
    "ug": "Uyghur",
}

# ISO 3166-1 names with a comma or parentheses, which would read badly
# inside "<language> (<country>)", and that have no common name.
COUNTRY_NAMES = {
    "COD": "Democratic Republic of the Congo",
    "FSM": "Micronesia",
    "PSE": "Palestine",
    "VAT": "Holy See",
}

FIXED_NUMBERS = {"af": 3, "en": 29, "de": 39, "tr": 123}
SPECIAL_CODES = {"az": 800430, "lt": 803220}

# Encoding ids of the session-encoding table: 0 ISO-8859-1, 2 ISO-8859-2,
# 3 ISO-8859-7, 4 ISO-8859-11, 5 ISO-8859-5, 6 ISO-8859-9, 13 UTF-8.
LEGACY_ENCODINGS = {
    # Principal Western European languages; their locales in the Western
    # European countries where they are official, English and French in
    # North America, English in Australia and New Zealand.
    0: "AF CA DA DE EN ES EU FI FO FR GA GL IS IT LB NB NL NN PT SV "
       "CAAND CAESP DADNK DEAUT DEBEL DECHE DEDEU DEITA DELIE DELUX ENAUS ENCAN ENGBR ENIRL ENNZL ENUSA ESESP "
       "EUESP FIFIN FOFRO FRBEL FRCAN FRCHE FRFRA FRLUX FRMCO GAGBR GAIRL GLESP ISISL ITCHE ITITA ITSMR ITVAT "
       "LBLUX NBNOR NLBEL NLNLD NNNOR PTPRT SVFIN SVSWE",
    # Central European Latin-script languages in the countries where they
    # are national languages and Latin-2 was the usual charset.
    2: "BS CS HR HU PL RO SK SL SQ BSBIH CSCZE HRBIH HRHRV HUHUN PLPOL ROMDA ROROU SKSVK SLSVN SQALB",
    # Greek, Thai and Turkish in their countries; the principal Cyrillic
    # languages in their home countries.
    3: "EL ELCYP ELGRC",
    4: "TH THTHA",
    5: "BG RU UK BGBGR RURUS UKUKR",
    6: "TR TRTUR",
}

PSEUDO = [  # iso, description, code, encoding
    ("L1", "ISO-8859-1 (Latin-1)", 800000, 0),
    ("L2", "ISO-8859-2 (Latin-2)", 800001, 2),
    ("LS", "ISO-8859-11 (Latin Thai)", 800003, 4),
    ("LC", "ISO-8859-5 (Latin Cyrillic)", 800004, 5),
    ("L5", "ISO-8859-9 (Latin 5)", 800005, 6),
    ("GB", "Global", 800010, 13),
]
PSEUDO_OF_ENCODING = {0: 800000, 2: 800001, 4: 800003, 5: 800004, 6: 800005}
GLOBAL = 800010

# Rows whose values are fixed elsewhere; the table must reproduce them.
EXPECTED = {
    "AF": ("Afrikaans", 3000, None, None),
    "EN": ("English", 29000, None, [800000]),
    "ENUSA": ("English (United States)", 29840, 0, [29000, 800000]),
    "DE": ("German", 39000, None, None),
    "DEDEU": ("German (Germany)", 39276, None, [39000, 800000]),
    "AFZAF": (None, 3710, None, [29710, 29000, 800000, 3000]),
    "ENZAF": (None, 29710, None, None),
    "TR": (None, 123000, None, None),
    "TRTUR": (None, 123792, None, None),
    "AZ": (None, 800430, None, None),
    "AZAZE": (None, 800440, None, None),
    "LT": (None, 803220, None, None),
    "LTLTU": (None, 803230, None, None),
    "ZUZAF": ("Zulu (South Africa)", None, None, None),
    "L1": ("ISO-8859-1 (Latin-1)", 800000, 0, []),
    "L2": ("ISO-8859-2 (Latin-2)", 800001, 2, []),
    "LS": ("ISO-8859-11 (Latin Thai)", 800003, 4, []),
    "LC": ("ISO-8859-5 (Latin Cyrillic)", 800004, 5, []),
    "L5": ("ISO-8859-9 (Latin 5)", 800005, 6, []),
    "GB": ("Global", 800010, 13, []),
    "ALL": ("All Locales", 900000, None, None),
}


def load(name, key):
    with open(ISO_DIR / name, encoding="utf-8") as f:
        return json.load(f)[key]


def main():
    out_path = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "src/kbstore/krlocl_table.inc"
    lang_iso = {x["alpha_2"]: x for x in load("iso_639-3.json", "639-3") if "alpha_2" in x}
    countries = {x["alpha_3"]: x for x in load("iso_3166-1.json", "3166-1")}

    encoding_of = {}
    for enc, isos in LEGACY_ENCODINGS.items():
        for iso in isos.split():
            assert iso not in encoding_of, iso
            encoding_of[iso] = enc

    rows = {}  # iso -> [description, code, encoding, ancestors]

    def add(iso, description, code, encoding, ancestors):
        assert iso not in rows, iso
        rows[iso] = [description, code, encoding, list(ancestors)]

    for iso, description, code, encoding in PSEUDO:
        add(iso, description, code, encoding, [])
    add("ALL", "All Locales", 900000, 13, [])
    for i in range(1, 27):
        add("RE%03d" % i, "Reserved%03d" % i, 900000 + 10 * i, 13, [])

    names = {}
    for lang in PAIRS:
        name = LANGUAGE_NAMES.get(lang, lang_iso[lang]["name"])
        assert "(" not in name and "," not in name and ";" not in name, name
        names[lang] = name

    numbers = {}
    previous = 0
    for lang in sorted((l for l in PAIRS if l not in SPECIAL_CODES), key=lambda l: names[l].lower()):
        number = previous + 1
        if lang in FIXED_NUMBERS:
            assert FIXED_NUMBERS[lang] >= number, (lang, number)
            number = FIXED_NUMBERS[lang]
        numbers[lang] = number
        previous = number
    assert previous < 800, previous

    def country_name(alpha3):
        c = countries[alpha3]
        name = COUNTRY_NAMES.get(alpha3, c.get("common_name", c["name"]))
        assert "(" not in name and "," not in name, name
        return name

    for lang in PAIRS:
        iso = lang.upper()
        code = SPECIAL_CODES.get(lang, numbers.get(lang, 0) * 1000)
        encoding = encoding_of.get(iso, 13)
        ancestors = [PSEUDO_OF_ENCODING.get(encoding, GLOBAL)]
        add(iso, names[lang], code, encoding, ancestors)
        for alpha3 in PAIRS[lang].split():
            ciso = iso + alpha3
            ccode = code + 10 if lang in SPECIAL_CODES else code + int(countries[alpha3]["numeric"])
            add(ciso, "%s (%s)" % (names[lang], country_name(alpha3)), ccode, encoding_of.get(ciso, 13),
                [code] + ancestors)

    # South African Afrikaans inherits from South African English first.
    en_zaf = rows["ENZAF"][1]
    rows["AFZAF"][3] = [en_zaf] + [rows["ENZAF"][3][0], rows["ENZAF"][3][1], rows["AF"][1]]

    check(rows, encoding_of)
    write(out_path, rows)


def check(rows, encoding_of):
    isos = sorted(rows, key=lambda s: s.encode())
    assert len(isos) == 511, len(isos)
    assert isos[0] == "AF" and isos[-1] == "ZUZAF", (isos[0], isos[-1])
    assert all(i in rows for i in encoding_of), [i for i in encoding_of if i not in rows]
    two = [i for i in isos if len(i) == 2]
    five = [i for i in isos if len(i) == 5]
    assert len(two) == 131 and len(five) == 379, (len(two), len(five))
    assert len([i for i in five if i.startswith("RE") and i[2:].isdigit()]) == 26
    codes = [rows[i][1] for i in isos]
    assert len(set(codes)) == 511, "codes not unique"
    assert len({rows[i][0] for i in isos}) == 511, "descriptions not unique"
    counts = {}
    for i in isos:
        counts[rows[i][2]] = counts.get(rows[i][2], 0) + 1
    assert counts == {0: 63, 2: 21, 3: 3, 4: 3, 5: 7, 6: 3, 13: 411}, counts
    code_set = set(codes)
    for i in isos:
        description, code, encoding, ancestors = rows[i]
        assert len(i.encode()) <= 20 and len(description.encode()) <= 320
        assert 0 <= code <= 0x7FFFFFFF
        assert len(ancestors) <= 4 and all(a in code_set and a != code for a in ancestors), i
    for iso, (description, code, encoding, ancestors) in EXPECTED.items():
        row = rows[iso]
        for want, got in ((description, row[0]), (code, row[1]), (encoding, row[2]), (ancestors, row[3])):
            assert want is None or want == got, (iso, want, got)


def c_string(text):
    out = []
    for b in text.encode("utf-8"):
        if b < 0x80 and chr(b) not in '"\\':
            out.append(chr(b))
        else:
            out.append("\\%03o" % b)
    return '"' + "".join(out) + '"'


def write(path, rows):
    lines = [
        "// The built-in locale table: 511 rows sorted by ISO code in byte order.",
        "// Generated by scripts/gen_locale_table.py from ISO 639 and ISO 3166-1",
        "// (Debian iso-codes); edit the script, not this file.",
        "// {iso, description, code, encoding, {ancestors, -1 for none}}",
    ]
    for iso in sorted(rows, key=lambda s: s.encode()):
        description, code, encoding, ancestors = rows[iso]
        anc = ancestors + [-1] * (4 - len(ancestors))
        lines.append("{%s, %s, %d, %d, {%s}}," % (c_string(iso), c_string(description), code, encoding,
                                                  ", ".join(str(a) for a in anc)))
    Path(path).write_text("\n".join(lines) + "\n", encoding="ascii")


if __name__ == "__main__":
    main()
