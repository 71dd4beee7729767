#!/usr/bin/env python3
"""Keeps the interface translation table and the two style sheets whole.

The Russian texts of the program are the string literals of src/ that hold a
Cyrillic letter (escapes resolved, adjacent literals joined). Their wordings
live in resources/i18n/src/<locale>.json, one reviewable file per language,
and are generated into resources/i18n/vorn_ui_translations_multilang.json.

A word with two meanings gets, beside its plain entry, one entry per context
it is shown in ("insert\u0004Вставить": insert a page, not paste). The
contexts and their words are listed in resources/i18n/src/contexts.json; a
context must be a literal of the program (the code names it when it marks a
widget), its words texts of the program.

  check-translations.py               check sources, wordings, the table and
                                      that the light and dark sheets have the
                                      same rules, styling every named widget
  check-translations.py --write       regenerate the table from the wordings
  check-translations.py --missing     print the texts some locale lacks, as
                                      table entries with empty wordings
  check-translations.py --merge F     take the wordings of such entries (F)
                                      into the language files, then --write
"""
import argparse
import datetime
import hashlib
import json
import os
import re
import sys
import unicodedata

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SRC = os.path.join(ROOT, "src")
I18N = os.path.join(ROOT, "resources", "i18n")
WORDINGS = os.path.join(I18N, "src")
TABLE = os.path.join(I18N, "vorn_ui_translations_multilang.json")
EXCLUDED = os.path.join(WORDINGS, "excluded.json")
CONTEXTS = os.path.join(WORDINGS, "contexts.json")
CONTEXT_SEPARATOR = "\u0004"
COINCIDENCES = os.path.join(WORDINGS, "same-as-english.json")
LARGEST_FILE = 16 * 1024 * 1024
STYLES = os.path.join(ROOT, "resources", "styles")
STYLED_NAMES = """AppDialog AppName AppSubtitle CompactTextButton DialogCheckBox DialogCombo DialogGroupBox DialogHint
DialogRadioButton DialogSubtitle DialogTabs DialogTitle DocumentCanvas DocumentPage DocumentScroll DocumentTabs
DocumentTitle FindDialog FindDialogButton FloatingBar FloatingSeparator GlobalSearch IconOnlyButton
InlineEditorCancel InlineEditorConfirm InlineEditorFrame InlineTextEditor LeftPanel OcrProgress PageCounter
PanelHeader PanelMeta PanelTitle PreviewCard PrimaryDialogButton PrintDialog PrintPreviewCaption PrintPreviewPage
PrintPreviewPanel RecentFilesList Ribbon RibbonGroup RibbonGroupTitle RibbonPage RibbonToolButton ScanCheckBox
ScanCombo ScanGroupBox ScanLabel ScanPreview ScanPreviewButton ScanPreviewLabel ScanPreviewScroll ScanProgressBar
ScanRefreshButton ScanScanButton ScanScanFrame ScanSeparator ScanSettingsFrame ScanSlider ScanSpin ScanStatusLabel
ScanTabContent SecondaryDialogButton SettingsSections StatusBar SymbolButton SymbolPage SymbolScroll SymbolTabs
ThemePrimitiveButton ThumbCard ThumbInner ThumbNumber ThumbPage ThumbScroll ThumbViewport TitleBar ViewportHeader
ViewportTitle Workspace""".split()

LOCALES = {
    "ru": "Русский", "en": "English", "de": "Deutsch", "fr": "Français", "es": "Español",
    "it": "Italiano", "pt": "Português", "pl": "Polski", "uk": "Українська", "be": "Беларуская",
    "kk": "Қазақша", "tr": "Türkçe", "zh": "中文", "ja": "日本語", "ko": "한국어", "ar": "العربية",
}
SCRIPTS = {
    "ru": "cyrillic", "uk": "cyrillic", "be": "cyrillic", "kk": "cyrillic",
    "en": "latin", "de": "latin", "fr": "latin", "es": "latin", "it": "latin", "pt": "latin",
    "pl": "latin", "tr": "latin", "zh": "han", "ja": "japanese", "ko": "hangul", "ar": "arabic",
}
CYRILLIC = re.compile("[А-Яа-яЁё]")
SHORTEST_WORDING = 2
PLACEHOLDER = re.compile(r"%L?\d{1,2}|%p%")


class CheckError(Exception):
    pass


# ---- extraction -----------------------------------------------------------

SIMPLE_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "0": "\0", "\\": "\\", '"': '"', "'": "'",
                  "?": "?", "a": "\a", "b": "\b", "f": "\f", "v": "\v"}


def unescape(body, path):
    out = []
    i = 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        e = body[i + 1]
        if e in "uU":
            size = 4 if e == "u" else 8
            out.append(chr(int(body[i + 2:i + 2 + size], 16)))
            i += 2 + size
        elif e == "x":
            m = re.match(r"[0-9A-Fa-f]+", body[i + 2:])
            out.append(chr(int(m.group(0), 16)))
            i += 2 + len(m.group(0))
        elif e in "01234567":
            m = re.match(r"[0-7]{1,3}", body[i + 1:])
            out.append(chr(int(m.group(0), 8)))
            i += 1 + len(m.group(0))
        elif e in SIMPLE_ESCAPES:
            out.append(SIMPLE_ESCAPES[e])
            i += 2
        else:
            raise CheckError(f"{path}: unknown escape \\{e}")
    return "".join(out)


TOKEN = re.compile(r'''
    (?P<comment>//[^\n]*|/\*.*?\*/)
  | (?P<raw>(?:u8|u|U|L)?R"(?P<delim>[^(\s]*)\((?P<rawbody>.*?)\)(?P=delim)")
  | (?P<string>(?:u8|u|U|L)?"(?P<body>(?:[^"\\\n]|\\.)*)")
  | (?P<char>(?:u8|u|U|L)?'(?:[^'\\\n]|\\.)*')
  | (?P<space>\s+)
  | (?P<other>[A-Za-z_0-9]+|.)
''', re.S | re.X)


def literals_of(text, path):
    """The string literals of a C++ source, adjacent ones joined."""
    found = []
    pending = None
    for m in TOKEN.finditer(text):
        kind = m.lastgroup if m.lastgroup not in ("delim", "rawbody", "body") else None
        if m.group("comment") is not None or m.group("space") is not None:
            continue
        if m.group("raw") is not None:
            piece = m.group("rawbody")
        elif m.group("string") is not None:
            piece = unescape(m.group("body"), path)
        else:
            piece = None
        if piece is None:
            if pending is not None:
                found.append(pending)
                pending = None
            continue
        pending = piece if pending is None else pending + piece
        del kind
    if pending is not None:
        found.append(pending)
    return found


def program_literals():
    literals = set()
    for folder, _, files in os.walk(SRC):
        for name in sorted(files):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(folder, name)
            with open(path, encoding="utf-8") as f:
                literals.update(literals_of(f.read(), os.path.relpath(path, ROOT)))
    return literals


def program_texts(literals=None):
    return {literal for literal in (program_literals() if literals is None else literals) if CYRILLIC.search(literal)}


def plain_source(source):
    """The shown text of a table key: a contextual key without its context."""
    return source.split(CONTEXT_SEPARATOR, 1)[-1]


def contextual_sources(literals):
    """The table keys of the words listed by context; a context the program
    never names, or a word it never shows, fails."""
    contexts = read_json(CONTEXTS, {})
    if not isinstance(contexts, dict) or not all(
            isinstance(words, list) and all(isinstance(w, str) for w in words) for words in contexts.values()):
        raise CheckError(f"{os.path.relpath(CONTEXTS, ROOT)}: not an object of word lists")
    texts = program_texts(literals)
    keys = set()
    for context, words in contexts.items():
        if not context or CONTEXT_SEPARATOR in context or context not in literals:
            raise CheckError(f"{os.path.relpath(CONTEXTS, ROOT)}: the program names no context {context!r}")
        for word in words:
            if word not in texts:
                raise CheckError(f"{os.path.relpath(CONTEXTS, ROOT)}: {word!r} is no text of the program")
            keys.add(context + CONTEXT_SEPARATOR + word)
    return keys


# ---- files ----------------------------------------------------------------

def read_json(path, default=None):
    if not os.path.exists(path):
        if default is not None:
            return default
        raise CheckError(f"{os.path.relpath(path, ROOT)} is missing")
    if os.path.getsize(path) > LARGEST_FILE:
        raise CheckError(f"{os.path.relpath(path, ROOT)} is too large")
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (ValueError, UnicodeDecodeError) as error:
        raise CheckError(f"{os.path.relpath(path, ROOT)} does not parse: {error}")


def write_json(path, data):
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        json.dump(data, f, ensure_ascii=False, indent=1, sort_keys=False)
        f.write("\n")
    os.replace(temporary, path)


def wording_path(locale):
    return os.path.join(WORDINGS, f"{locale}.json")


def load_wordings():
    wordings = {}
    for locale in LOCALES:
        if locale == "ru":
            continue
        data = read_json(wording_path(locale), {})
        if not isinstance(data, dict) or not all(isinstance(k, str) and isinstance(v, str) for k, v in data.items()):
            raise CheckError(f"{os.path.relpath(wording_path(locale), ROOT)}: not an object of texts")
        wordings[locale] = data
    return wordings


def load_lists():
    excluded = read_json(EXCLUDED, {})
    coincidences = read_json(COINCIDENCES, {})
    if not isinstance(excluded, dict) or not isinstance(coincidences, dict):
        raise CheckError("the exclusion and coincidence lists must be objects")
    return excluded, coincidences


# ---- rules ----------------------------------------------------------------

def script_letters(text):
    """The scripts of the letters of a text."""
    scripts = set()
    for ch in text:
        if not ch.isalpha():
            continue
        name = unicodedata.name(ch, "")
        if "CYRILLIC" in name:
            scripts.add("cyrillic")
        elif "LATIN" in name:
            scripts.add("latin")
        elif "CJK" in name:
            scripts.add("han")
        elif "HIRAGANA" in name or "KATAKANA" in name:
            scripts.add("kana")
        elif "HANGUL" in name:
            scripts.add("hangul")
        elif "ARABIC" in name:
            scripts.add("arabic")
        elif "GREEK" in name:
            scripts.add("greek")
        else:
            scripts.add("other")
    return scripts


def script_problem(locale, text, source):
    scripts = script_letters(text)
    source_letters = [ch for ch in source if ch.isalpha()]
    script = SCRIPTS[locale]
    if script == "latin":
        wrong = scripts - {"latin", "greek"}
        return f"letters of {', '.join(sorted(wrong))}" if wrong else None
    if script == "cyrillic":
        return None if "cyrillic" in scripts else "no Cyrillic letters"
    own = {"han": {"han"}, "japanese": {"han", "kana"}, "hangul": {"hangul"}, "arabic": {"arabic"}}[script]
    foreign = scripts - own - {"latin"}
    if foreign:
        return f"letters of {', '.join(sorted(foreign))}"
    # Units and other abbreviations of one or two letters may stay Latin.
    if not scripts & own and len(source_letters) > SHORTEST_WORDING:
        return f"no {script} letters"
    return None


def placeholders(text):
    return sorted(PLACEHOLDER.findall(text))


def problems(sources, wordings, coincidences):
    found = []
    english = wordings.get("en", {})
    for source in sorted(sources):
        wanted = placeholders(source)
        for locale in LOCALES:
            if locale == "ru":
                continue
            text = wordings[locale].get(source, "")
            where = f"[{locale}] {source!r}"
            if not text.strip():
                found.append(f"{where}: missing")
                continue
            if placeholders(text) != wanted:
                found.append(f"{where}: placeholders {placeholders(text)} instead of {wanted}")
            shown = plain_source(source)
            problem = script_problem(locale, text, shown) if script_letters(shown) - {"latin"} else None
            if problem and text != shown:
                found.append(f"{where}: {problem} in {text!r}")
            if locale != "en" and text == english.get(source) and source not in coincidences.get(locale, []):
                found.append(f"{where}: the English wording {text!r}")
    return found


# ---- the table ------------------------------------------------------------

def stable_ids(sources, previous):
    """Ids kept from the previous table; new sources numbered after them."""
    ids = {}
    used = 0
    for entry in previous.get("entries", []) if isinstance(previous, dict) else []:
        if isinstance(entry, dict) and isinstance(entry.get("id"), str) and entry.get("source") in sources:
            ids[entry["source"]] = entry["id"]
    for entry_id in ids.values():
        m = re.match(r"ui_(\d+)_", entry_id)
        if m:
            used = max(used, int(m.group(1)))
    for source in sorted(sources - ids.keys()):
        used += 1
        digest = hashlib.sha1(source.encode("utf-8")).hexdigest()[:8]
        ids[source] = f"ui_{used:04d}_{digest}"
    return ids


def build_table(sources, wordings, coincidences, previous):
    ids = stable_ids(sources, previous)
    ordered = sorted(sources, key=lambda s: ids[s])
    translations = {"ru": {s: plain_source(s) for s in ordered}}
    for locale in LOCALES:
        if locale != "ru":
            translations[locale] = {s: wordings[locale][s] for s in ordered if wordings[locale].get(s)}
    english = translations["en"]
    same = [(locale, s) for locale in LOCALES if locale not in ("ru", "en")
            for s in ordered if s in translations[locale] and translations[locale][s] == english.get(s)]
    placeholder_issues = sum(1 for locale in LOCALES for s, t in translations[locale].items()
                             if placeholders(t) != placeholders(s))
    missing = sum(1 for locale in LOCALES for s in ordered if s not in translations[locale])
    now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0).isoformat()
    previous_meta = previous.get("meta", {}) if isinstance(previous, dict) else {}
    meta = {
        "format": "vorn-ui-translations",
        "version": 1,
        "source_language": "ru",
        "source_file": "resources/i18n/src",
        "generated_at": previous_meta.get("generated_at", now),
        "updated_at": now,
        "string_count": len(ordered),
        "fallback_language": "en",
        "notes": [
            "Generated by scripts/check-translations.py --write from resources/i18n/src/<locale>.json.",
            "Keys are the Russian texts of the program exactly as the code writes them.",
            "Wordings equal to English in another language are listed in same-as-english.json.",
        ],
        "locales": dict(LOCALES),
    }
    entries = [{"id": ids[s], "source": s, "tr": {locale: translations[locale].get(s, "") for locale in LOCALES}}
               for s in ordered]
    review = {
        "placeholder_issues": placeholder_issues,
        "needs_human_review_count": missing,
        "fallback_to_en_count": len(same),
        "fallback_to_en_examples": [{"locale": locale, "source": s} for locale, s in same[:10]],
        "manual_core_ui_patch": False,
    }
    return {"meta": meta, "translations": translations, "entries": entries, "review": review}


def same_content(a, b):
    strip = lambda t: {k: v for k, v in t.items() if k != "meta"} if isinstance(t, dict) else t
    meta_a = dict(a.get("meta", {})) if isinstance(a, dict) else {}
    meta_b = dict(b.get("meta", {})) if isinstance(b, dict) else {}
    for meta in (meta_a, meta_b):
        meta.pop("generated_at", None)
        meta.pop("updated_at", None)
    return strip(a) == strip(b) and meta_a == meta_b


# ---- style sheets ---------------------------------------------------------

def sheet_selectors(name):
    """The selectors of a sheet's rules, in order; unbalanced braces fail."""
    path = os.path.join(STYLES, f"{name}.qss")
    if not os.path.exists(path) or os.path.getsize(path) > LARGEST_FILE:
        raise CheckError(f"{os.path.relpath(path, ROOT)} is missing or too large")
    with open(path, encoding="utf-8") as f:
        text = re.sub(r"/\*.*?\*/", "", f.read(), flags=re.S)
    selectors = []
    rest = text
    while "{" in rest:
        head, _, tail = rest.partition("{")
        body, closed, rest = tail.partition("}")
        if not closed or "{" in body:
            raise CheckError(f"{os.path.relpath(path, ROOT)}: unbalanced braces after {head.strip()!r}")
        selectors.append(" ".join(head.split()))
    if rest.strip():
        raise CheckError(f"{os.path.relpath(path, ROOT)}: text after the last rule")
    return selectors


def sheet_problems():
    light = sheet_selectors("light")
    dark = sheet_selectors("dark")
    found = []
    if light != dark:
        found.append("resources/styles: light.qss and dark.qss do not have the same rules in the same order")
    names = set(re.findall(r"#(\w+)", " ".join(light)))
    found += [f"resources/styles: no rule styles {name}" for name in STYLED_NAMES if name not in names]
    return found


# ---- commands -------------------------------------------------------------

def gather():
    excluded, coincidences = load_lists()
    literals = program_literals()
    sources = (program_texts(literals) - set(excluded)) | contextual_sources(literals)
    return sources, load_wordings(), excluded, coincidences


def command_check():
    sources, wordings, excluded, coincidences = gather()
    found = problems(sources, wordings, coincidences) + sheet_problems()
    table = read_json(TABLE)
    expected = build_table(sources, wordings, coincidences, table)
    if not same_content(table, expected):
        found.append(f"{os.path.relpath(TABLE, ROOT)} is out of date: run scripts/check-translations.py --write")
    for text in sorted(set(excluded) - program_texts()):
        found.append(f"excluded text no longer in the program: {text!r}")
    for line in found:
        print(line, file=sys.stderr)
    if found:
        print(f"{len(found)} problems in the translations or style sheets", file=sys.stderr)
        return 1
    print(f"translations: {len(sources)} texts in {len(LOCALES)} languages")
    return 0


def command_write():
    sources, wordings, _, coincidences = gather()
    previous = read_json(TABLE, {})
    write_json(TABLE, build_table(sources, wordings, coincidences, previous))
    return 0


def command_missing():
    sources, wordings, _, _ = gather()
    previous = read_json(TABLE, {})
    ids = stable_ids(sources, previous)
    fragment = []
    for source in sorted(sources, key=lambda s: ids[s]):
        have = {locale: wordings[locale].get(source, "") for locale in LOCALES if locale != "ru"}
        if all(have.values()):
            continue
        fragment.append({"id": ids[source], "source": source, "tr": {"ru": plain_source(source), **have}})
    json.dump(fragment, sys.stdout, ensure_ascii=False, indent=1)
    sys.stdout.write("\n")
    return 0


def command_merge(path):
    fragment = read_json(path)
    if isinstance(fragment, dict):
        fragment = fragment.get("entries", [])
    if not isinstance(fragment, list):
        raise CheckError(f"{path}: not a list of entries")
    wordings = load_wordings()
    for entry in fragment:
        if not isinstance(entry, dict) or not isinstance(entry.get("source"), str) \
                or not isinstance(entry.get("tr"), dict):
            raise CheckError(f"{path}: an entry without source or tr")
        for locale, text in entry["tr"].items():
            if locale in wordings and isinstance(text, str) and text:
                wordings[locale][entry["source"]] = text
    for locale, texts in wordings.items():
        write_json(wording_path(locale), dict(sorted(texts.items())))
    return command_write()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    group = parser.add_mutually_exclusive_group()
    group.add_argument("--write", action="store_true")
    group.add_argument("--missing", action="store_true")
    group.add_argument("--merge", metavar="FILE")
    args = parser.parse_args()
    try:
        if args.write:
            return command_write()
        if args.missing:
            return command_missing()
        if args.merge:
            return command_merge(args.merge)
        return command_check()
    except CheckError as error:
        print(error, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
