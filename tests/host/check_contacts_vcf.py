#!/usr/bin/python3
"""contacts.vcf read by an independent vCard parser (vobject) and compared with the phone as the
CLI lists it; then export -> import -> export must give the same file.

Usage: check_contacts_vcf.py QWBDCAWM_BINARY WORK_DIR
The CLI serves its built-in demo phone from WORK_DIR/cache."""
import base64
import json
import os
import shutil
import subprocess
import sys

import vobject

qwbdcawm, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
env = dict(os.environ, XDG_CACHE_HOME=os.path.join(work, "cache"), APPDATA=os.path.join(work, "appdata"),
           QWBDCAWM_REGISTRY=os.path.join(work, "registry.reg"))
env.pop("QWBDCAWM_DEVICE", None)


def run(*args):
    r = subprocess.run([qwbdcawm, *args], env=env, capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("qwbdcawm %s failed (%d): %s" % (" ".join(args), r.returncode, r.stderr))
    return r


failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


run("export", os.path.join(work, "a"), "--only", "contacts")
phone = json.loads(run("contacts", "list", "--json").stdout)
with open(os.path.join(work, "a", "contacts.vcf"), encoding="utf-8", newline="") as f:
    text = f.read()
check(all(len(line.encode()) <= 75 for line in text.split("\r\n")), "a line longer than 75 octets")
check("\n" not in text.replace("\r\n", ""), "a bare line feed")

cards = list(vobject.readComponents(text))
check(len(cards) == len(phone) > 300, "%d cards for %d contacts" % (len(cards), len(phone)))
by_id = {c["id"]: c for c in phone}
kinds = {"Mobile": {"cell"}, "Landline.Private": {"home", "voice"},
         "Landline.Private2": {"home", "voice"}, "Landline.Business": {"work", "voice"},
         "Landline.Business2": {"work", "voice"}, "Fax.Private": {"home", "fax"},
         "Fax.Business": {"work", "fax"}, "RadioTel": {"x-radio"}, "CarPhone": {"x-car"},
         "Pager": {"pager"}, "Company": {"work", "x-company"}}


def values(card, name):
    return card.contents.get(name, [])


def raw_photos(text):
    """The bytes of each card's PHOTO data URI by the card's UID, read from the text itself
    (vobject, a vCard 3.0 reader, splits a data URI at its comma)."""
    photos, uid = {}, None
    for line in text.replace("\r\n ", "").split("\r\n"):
        if line.startswith("UID:"):
            uid = line[4:]
        elif line.startswith("PHOTO:"):
            head, _, data = line[6:].partition(",")
            check(head.startswith("data:image/") and head.endswith(";base64"), "PHOTO " + head)
            photos[uid] = base64.b64decode(data)
    return photos


def jpeg_size(data):
    """(width, height) from a JPEG's frame header."""
    i = 2
    while i + 9 < len(data):
        if data[i] != 0xFF:
            return None
        marker, length = data[i + 1], int.from_bytes(data[i + 2:i + 4], "big")
        if marker in (0xC0, 0xC1, 0xC2):
            return int.from_bytes(data[i + 7:i + 9], "big"), int.from_bytes(data[i + 5:i + 7], "big")
        i += 2 + length
    return None


def photo_lines(text):
    """The text without its PHOTO lines (unfolded), and the PHOTO values in order."""
    kept, photos = [], []
    for line in text.replace("\r\n ", "").split("\r\n"):
        (photos if line.startswith("PHOTO:") else kept).append(line)
    return "\r\n".join(kept), photos


card_photos = raw_photos(text)
for card in cards:
    uid = card.uid.value
    cid = int(uid.rsplit("-", 1)[1])
    check("-contact-" in uid, "UID " + uid)
    c = by_id.get(cid)
    if c is None:
        failures.append("no contact for " + uid)
        continue
    where = "contact %d: " % cid
    check(card.fn.value == c["name"], where + "FN %r != %r" % (card.fn.value, c["name"]))
    n = card.n.value
    check(n.family == c.get("last", "") and n.given == c.get("first", ""), where + "N")
    check(n.additional == c.get("middle", "") and n.prefix == c.get("prefix", ""), where + "N parts")
    for key, prop in (("readingFirst", "x-phonetic-first-name"), ("readingLast", "x-phonetic-last-name")):
        got = [v.value for v in values(card, prop)]
        check(got == ([c[key]] if key in c else []), where + prop)
    tels = [t for t in values(card, "tel") if t.params.get("X-PHONE-KIND") != ["Assistant"]]
    check([t.value for t in tels] == [p["number"] for p in c["phones"]], where + "TEL numbers")
    for t, p in zip(tels, c["phones"]):
        types = {v.lower() for v in t.params.get("TYPE", [""])[0].split(",")} if len(t.params.get("TYPE", [])) == 1 else {v.lower() for v in t.params.get("TYPE", [])}
        check(types == kinds[p["kind"]], where + "TEL type %s for %s" % (types, p["kind"]))
        check(t.params.get("X-SPEED-DIAL", [""])[0] == p.get("speedDial", ""), where + "speed dial")
    check([e.value for e in values(card, "email")] == c["emails"], where + "EMAIL")
    adrs = values(card, "adr")
    check(len(adrs) == len(c["addresses"]), where + "ADR count")
    for a, want in zip(adrs, c["addresses"]):
        v = a.value
        check((v.street, v.city, v.region, v.code, v.country) ==
              (want["street"].replace("\r\n", "\n"), want["locality"], want["region"],
               want["postalCode"], want["country"]), where + "ADR")
    bday = [b.value for b in values(card, "bday")]
    check(bday == ([c["birthday"].replace("-", "")] if "birthday" in c else []), where + "BDAY")
    ann = [b.value for b in values(card, "anniversary")]
    check(ann == ([c["anniversary"].replace("-", "")] if "anniversary" in c else []), where + "ANNIVERSARY")
    notes = [x.value for x in values(card, "note")]
    check(notes == ([c["notes"].replace("\r\n", "\n")] if "notes" in c else []), where + "NOTE")
    cats = [v for x in values(card, "categories") for v in x.value]
    check(cats == c["groups"], where + "CATEGORIES %r != %r" % (cats, c["groups"]))
    if "company" in c:
        check(card.org.value[0] == c["company"], where + "ORG")
    if "nickname" in c:
        check(card.nickname.value == c["nickname"], where + "NICKNAME")
    photo = card_photos.get(uid)
    if "photo" in c:
        with open(c["photo"]["path"], "rb") as f:
            check(photo == f.read(), where + "PHOTO is not the component's photo file")
    else:
        check(photo is None, where + "PHOTO without a photo")
check(sum(1 for c in phone if "photo" in c) >= 5, "the demo phone has too few photos")

# The round trip: every card written back, then the same file again.
run("import", os.path.join(work, "a", "contacts.vcf"))
run("export", os.path.join(work, "b"), "--only", "contacts")
with open(os.path.join(work, "b", "contacts.vcf"), encoding="utf-8", newline="") as f:
    again = f.read()
# Photos larger than 108 x 144 come back reduced (the component sends no larger picture);
# everything else comes back as it was.
rest_a, photos_a = photo_lines(text)
rest_b, photos_b = photo_lines(again)
if rest_a != rest_b:
    a, b = rest_a.split("\r\n"), rest_b.split("\r\n")
    diff = [(x, y) for x, y in zip(a, b) if x != y][:5]
    failures.append("export -> import -> export differs: %r" % diff)
check(len(photos_a) == len(photos_b), "photos lost in the round trip")
reduced = 0
for pa, pb in zip(photos_a, photos_b):
    if pa == pb:
        continue
    reduced += 1
    before = jpeg_size(base64.b64decode(pa.partition(",")[2]))
    after = jpeg_size(base64.b64decode(pb.partition(",")[2]))
    check(before is not None and (before[0] > 108 or before[1] > 144),
          "a photo of %r changed in the round trip" % (before,))
    check(after is not None and after[0] <= 108 and after[1] <= 144,
          "a photo came back as %r" % (after,))
check(reduced >= 1, "no photo of the demo phone was larger than 108 x 144")
# Once reduced, a second round trip gives the same file.
run("import", os.path.join(work, "b", "contacts.vcf"))
run("export", os.path.join(work, "c"), "--only", "contacts")
with open(os.path.join(work, "c", "contacts.vcf"), encoding="utf-8", newline="") as f:
    check(f.read() == again, "a second export -> import -> export differs")

for f in failures[:30]:
    print("FAIL:", f)
print("%d cards checked, %d failures" % (len(cards), len(failures)))
sys.exit(1 if failures else 0)
