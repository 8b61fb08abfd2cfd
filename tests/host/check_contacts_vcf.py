#!/usr/bin/python3
"""contacts.vcf read by an independent vCard parser (vobject) and compared with the phone as the
CLI lists it; then export -> import -> export must give the same file.

Usage: check_contacts_vcf.py QWBDCAWM_BINARY WORK_DIR
The CLI serves its built-in demo phone from WORK_DIR/cache."""
import json
import os
import shutil
import subprocess
import sys

import vobject

qwbdcawm, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
env = dict(os.environ, XDG_CACHE_HOME=os.path.join(work, "cache"),
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

# The round trip: every card written back, then the same file again.
run("import", os.path.join(work, "a", "contacts.vcf"))
run("export", os.path.join(work, "b"), "--only", "contacts")
with open(os.path.join(work, "b", "contacts.vcf"), encoding="utf-8", newline="") as f:
    again = f.read()
if again != text:
    a, b = text.split("\r\n"), again.split("\r\n")
    diff = [(x, y) for x, y in zip(a, b) if x != y][:5]
    failures.append("export -> import -> export differs: %r" % diff)

for f in failures[:30]:
    print("FAIL:", f)
print("%d cards checked, %d failures" % (len(cards), len(failures)))
sys.exit(1 if failures else 0)
