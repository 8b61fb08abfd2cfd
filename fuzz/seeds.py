#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are the golden layouts of the tests, written out by hand the same way: device
records, RAPI2 replies and requests, XML documents, registry files and time-zone rules.
Run it again after changing it; the files it writes are committed.
"""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def pad(b):
    return b + b"\0" * ((4 - len(b) % 4) % 4)


def prop(name, value):
    n = (name if isinstance(name, bytes) else name.encode()) + b"\0"
    return u32(len(n)) + pad(n) + u32(len(value)) + pad(value)


def s8(text):
    return text.encode() + b"\0"


def rstr(text):
    if text is None:
        return u32(0)
    b = (text + "\0").encode("utf-16-le")
    return u32(len(b)) + b


def frame(payload):
    return u32(len(payload)) + payload


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- device records: first byte the kind, then the record ---------------------------
date = struct.pack("<d", 46000.0)
records = {
    "task_reply": (3, u32(7) + prop("Subject", s8("abc")) + prop("StartDate", date)
                   + prop("Importance", u32(3)) + prop("Complete", b"\xff\xff")),
    "task_add": (3, u32(3) + u32(1) + prop("Subject", s8("abc"))),
    "task_replace": (3, u32(3) + u32(0x12) + u32(2) + prop("Importance", u32(3))
                     + prop("Complete", struct.pack("<H", 1))),
    "appointment_reply": (2, u32(0) + prop("Start", date) + prop("Duration", u32(60))
                          + prop("Location", s8("회의실 A"))),
    "contact_reply": (1, u32(0) + prop("FirstName", s8("Minji")) + prop("Picture", b"\1\2\3\4\5")),
    "message_reply": (4, u32(0) + prop("PR_SUBJECT", s8("hello")) + prop("PR_MESSAGE_FLAGS", u32(1))),
    "mms_reply": (5, u32(0) + prop("PR_MMS_BODY", b"\0\1\2") + prop("PR_MESSAGE_SIZE2", u32(3))),
    "sim_capacity": (6, u32(0) + prop("nUsed", u32(12)) + prop("nTotal", u32(250))),
    "sim_message": (7, u32(0) + prop("PhoneNumber", s8("01012345678")) + prop("Message", s8("hi"))),
    "empty_reply": (3, u32(0)),
    "unknown_name": (3, u32(0) + prop("NoSuchProperty", s8("x"))),
}
for name, (kind, record) in records.items():
    write("device_record", name, bytes([kind]) + record)
    write("property_map", name, bytes([kind]) + record)

# The property map's own cases: a repeated name (the last value wins), a name that is not
# UTF-8 (passed over), values shorter than their type, a name too long to read.
map_records = {
    "repeated_name": (3, u32(0) + prop("Subject", s8("first")) + prop("Importance", u32(1))
                      + prop("Subject", s8("두 번째"))),
    "name_not_utf8": (3, u32(0) + prop(b"Subj\xffect", s8("x")) + prop("Subject", s8("y"))),
    "short_values": (2, u32(0) + prop("Start", b"\1\2\3") + prop("Duration", b"\1")
                     + prop("Location", b"\xc3")),
    "long_name": (1, u32(0) + prop("N" * 300, s8("x")) + prop("FirstName", s8("Jiwoo"))),
}
for name, (kind, record) in map_records.items():
    write("property_map", name, bytes([kind]) + record)

# ---- RAPI2 replies: call, argument, then the reply payload ----------------------------
def find_data(name):
    n = (name + "\0").encode("utf-16-le")
    return u32(0x20) + u32(1) * 6 + u32(0) + u32(5) + u32(0) + n


fd = find_data("a.txt")
replies = {
    "find_first": (0, 0, u32(0) + u32(0x10) + u32(len(fd)) + fd),
    "find_first_none": (0, 0, u32(18) + u32(0xFFFFFFFF) + u32(0)),
    "find_next": (1, 0, u32(0) + u32(1) + u32(len(fd)) + fd),
    "find_next_end": (1, 0, u32(18) + u32(0) + u32(0)),
    "find_all": (2, 0xB3, u32(0) + u32(1) + u32(2)
                 + u32(12) + u32(0x10) + u32(1) + u32(2) + u32(0) + u32(0) + "Temp\0".encode("utf-16-le")[:12]
                 + u32(12) + u32(0x20) + u32(1) + u32(2) + u32(0) + u32(9) + "a.txt\0".encode("utf-16-le")[:12]),
    "read_file": (3, 1, u32(0) + u32(1) + u32(5) + b"hello"),
    "write_file": (4, 3, u32(0) + u32(1) + u32(3)),
    "create_file": (5, 0, u32(0) + u32(0x20)),
    "file_time": (7, 0, u32(0) + u32(1) + bytes(range(24))),
    "disk_free": (11, 0, u32(0) + u32(1) + u32(1000) + u32(0) + u32(4000) + u32(0) + u32(1000) + u32(0)),
    "version": (12, 0, u32(0) + u32(1) + u32(276) + u32(276) + u32(5) + u32(2) + u32(1) + u32(3) + b"\0" * 256),
    "reg_open": (13, 0, u32(0) + u32(0) + u32(0x100)),
    "reg_create": (14, 0, u32(0) + u32(0) + u32(0x101) + u32(1)),
    "reg_query": (15, 3, u32(0) + u32(0) + u32(1) + u32(18) + "Aster W1\0".encode("utf-16-le")),
    "reg_query_size": (15, 0, u32(0) + u32(0) + u32(1) + u32(18)),
    "invoke_list": (17, 0, u32(0) + u32(0) + u32(12) + u32(2) + u32(7) + u32(9)),
    "invoke_failed": (17, 0, u32(0) + u32(0x80004005)),
    "unknown": (6, 0, u32(120)),
    "special_folder": (20, 1, u32(0) + u32(13) + "\\My Documents".encode("utf-16-le")),
    "special_folder_nul": (20, 1, u32(0) + u32(3) + "\\a\0".encode("utf-16-le")),
    "enum_value": (21, 8 + 6, u32(0) + u32(0) + u32(5) + "Instl".encode("utf-16-le") + u32(4) + u32(4) + u32(1)),
    "enum_value_end": (21, 8, u32(259) + u32(259)),
    "enum_key_class": (22, 16 + 8, u32(0) + u32(0) + u32(2) + "Ab".encode("utf-16-le") + u32(0)),
    "query_info": (23, 0, u32(0) + u32(0) + u32(0) + u32(3) + u32(7) + u32(0) + u32(2) + u32(8) + u32(18)),
    "file_size_high": (24, 1, u32(0) + u32(5) + u32(1) + u32(4) + u32(1) + u32(1)),
    "power": (25, 0, u32(1) + bytes([1, 1, 90, 0]) + u32(0xFFFFFFFF) * 2 + bytes([0, 1, 100, 0]) + u32(0xFFFFFFFF) * 2),
    "system_info": (25, 0, u32(0) + u32(5) + u32(4096) + u32(0x10000) + u32(0x7FFFFFFF) + u32(1) + u32(1) + u32(2577) + u32(0x10000) + u32(4)),
    "create_process": (26, 1, u32(0) + u32(1) + u32(0x1000) + u32(0x1001) + u32(8) + u32(12)),
    "process_config": (27, 0, u32(0) + u32(0) + rstr("<wap-provisioningdoc/>")),
    "sync_control": (28, 0, u32(0) + u32(1)),
}
for name, (call, arg, payload) in replies.items():
    write("rapi_replies", name, bytes([call, arg]) + payload)

# ---- RAPI2 requests to the emulator: whole frames --------------------------------------
def invoke(function, data, mode=0):
    return frame(u32(0x4C) + u32(0) + rstr("QWBRapiServer") + rstr(function) + u32(len(data)) + data + u32(mode))


task = u32(3) + u32(2) + prop("Subject", s8("Pay rent")) + prop("Importance", u32(1))
requests = {
    "create_write_read": frame(u32(0x16) + rstr("\\My Documents\\a.txt") + u32(0xC0000000) + u32(1) + u32(2) + u32(0x80) + u32(0))
    + frame(u32(0x18) + u32(0x1000) + u32(5) + b"hello") + frame(u32(0x17) + u32(0x1000) + u32(5))
    + frame(u32(0x19) + u32(0x1000)),
    "find_all": frame(u32(0x1A) + rstr("\\*.*") + u32(0xB3)),
    "find_first_next": frame(u32(0x11) + rstr("\\Windows\\*.*")) + frame(u32(0x12) + u32(0x1000)) + frame(u32(0x13) + u32(0x1000)),
    "registry": frame(u32(0x2F) + u32(0x80000002) + rstr("Ident")) + frame(u32(0x37) + u32(0x1000) + rstr("OrigName") + u32(255))
    + frame(u32(0x32) + u32(0x1000)),
    "registry_write": frame(u32(0x31) + u32(0x80000001) + rstr("Software\\Test") + u32(0))
    + frame(u32(0x38) + u32(0x1000) + rstr("v") + u32(4) + u32(4) + u32(7)),
    "files": frame(u32(0x28) + rstr("\\d")) + frame(u32(0x2C) + rstr("\\d\\x") + rstr("\\d\\y") + u32(1))
    + frame(u32(0x2B) + rstr("\\d\\y") + rstr("\\d\\z")) + frame(u32(0x2D) + rstr("\\d\\z")) + frame(u32(0x29) + rstr("\\d")),
    "version_disk": frame(u32(0x43)) + frame(u32(0x5C) + rstr("\\")),
    "tasks": invoke("DevCeList", u32(3)) + invoke("DevCeAddTask", task) + invoke("DevCeGet", u32(3) + u32(1))
    + invoke("DevCeDelete", u32(3) + u32(1)),
    "stream": invoke("DevCeApplyAllData", b"", 1) + u32(8) + u32(1),
    "unknown_command": frame(u32(0x77)),
    "special_folders": b"".join(frame(u32(0x4B) + u32(c) + u32(520)) for c in (2, 5, 6, 7, 8, 0xB, 0x10, 0x14, 0x16)),
    "attributes_seek_end": frame(u32(0x14) + rstr("\\Windows"))
    + frame(u32(0x16) + rstr("\\My Documents\\s.bin") + u32(0xC0000000) + u32(0) + u32(2) + u32(0x80) + u32(0))
    + frame(u32(0x26) + u32(0x1000) + u32(100) + u32(0) + u32(0)) + frame(u32(0x27) + u32(0x1000))
    + frame(u32(0x2E) + u32(0x1000) + u32(1) + u32(4) + u32(0)) + frame(u32(0x26) + u32(0x1000) + u32(0) + u32(1) + u32(1) + u32(0))
    + frame(u32(0x19) + u32(0x1000)),
    "registry_enum": frame(u32(0x36) + u32(0x80000002) + u32(0) + u32(0))
    + frame(u32(0x30) + u32(0x80000002) + u32(0) + u32(64) + u32(8) + u32(0))
    + frame(u32(0x34) + u32(0x80000002) + u32(0) + u32(64) + u32(0))
    + frame(u32(0x31) + u32(0x80000001) + rstr("Software\\E") + u32(0))
    + frame(u32(0x38) + u32(0x1000) + rstr("v") + u32(4) + u32(4) + u32(7))
    + frame(u32(0x34) + u32(0x1000) + u32(0) + u32(8) + u32(4)) + frame(u32(0x35) + u32(0x1000) + rstr("v"))
    + frame(u32(0x33) + u32(0x80000001) + rstr("Software\\E")),
    "system": frame(u32(0x3D) + u32(1) + u32(36) + u32(0)) + frame(u32(0x39)) + frame(u32(0x49) + u32(0))
    + frame(u32(0x01) + u32(0) + u32(0x01D00000) + u32(0) + u32(10000)),
    "processes": frame(u32(0x2A) + rstr("wceload.exe") + rstr("a.cab") + u32(0) * 7)
    + frame(u32(0x2A) + rstr("\\nothing.exe") + u32(0) + u32(0) * 7),
    "config": frame(u32(0x0E) + rstr("<wap-provisioningdoc><characteristic type=\"Registry\"><characteristic-query type=\"HKLM\\Ident\"/></characteristic></wap-provisioningdoc>") + u32(1))
    + frame(u32(0x0E) + rstr("<x") + u32(1)),
    "sync": frame(u32(0x02)) + frame(u32(0x59) + u32(0)) + frame(u32(0x10)) + frame(u32(0x0F)),
    "sync_start_params": frame(u32(0x59) + rstr("AirSync")),
    # Numbers with no layout (declared but never sent, or no client at all): word 0 alone.
    "no_layout": b"".join(frame(u32(c)) for c in (0x00, 0x03, 0x08, 0x0D, 0x15, 0x1B, 0x3A, 0x3E, 0x40, 0x4A, 0x5A, 0x5B)),
    "file_times_size": frame(u32(0x16) + rstr("\\Storage Card\\t.bin") + u32(0xC0000000) + u32(0) + u32(2) + u32(0x80) + u32(0))
    + frame(u32(0x42) + u32(0x1000) + u32(8) + u32(1) + u32(0x01D00000) + u32(0) + u32(8) + u32(2) + u32(0x01D00000))
    + frame(u32(0x41) + u32(0x1000)) + frame(u32(0x2E) + u32(0x1000) + u32(0))
    + frame(u32(0x26) + u32(0x1000) + u32(0xFFFFFFFC) + u32(0) + u32(1)) + frame(u32(0x19) + u32(0x1000)),
    "invoke_unknown": invoke("DevCeNothing", b"") + invoke("DevCeNothing", b"", 1),
}
for name, data in requests.items():
    write("emulator_requests", name, data)

# ---- XML documents --------------------------------------------------------------------
here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, "..", "link", "WMModelProfile.xml"), "rb") as f:
    write("model_profile", "shipped_profile.xml", f.read())
write("model_profile", "one_model.xml",
      b"<WMModelProfile><ModelTypeLists><ModelType><ModelTypeName>olDomesticLGT</ModelTypeName>"
      b"<QWBRapiServer>QWBRapiServer.dll</QWBRapiServer><DownLoadFiles>"
      b"<DownLoadFile overwrite=\"y\" realdownname=\"s.dll\" downpath=\"\\Windows\">a.dll</DownLoadFile>"
      b"</DownLoadFiles></ModelType></ModelTypeLists><ModelLists><Model><ModelName>ABC-1</ModelName>"
      b"<ModelTypeName>olDomesticLGT</ModelTypeName></Model></ModelLists></WMModelProfile>")
write("model_profile", "attributes_text.xml", b"<A x=\"1\" y=\"2\">t</A>")
write("model_profile", "walk.xml",
      b"<?xml version=\"1.0\"?><r><a><b>one</b><![CDATA[<raw>]]></a><!-- c --><?pi x?><d>x<e/>y</d></r>")
write("model_profile", "utf16_bom.xml", "\ufeff<r><ModelName>한글</ModelName></r>".encode("utf-16-le"))

# ---- registry files -------------------------------------------------------------------
write("registry_store", "registration.reg",
      b"Windows Registry Editor Version 5.00\n\n"
      b"[HKEY_CLASSES_ROOT\\QWBDCAWM.DeviceDataWM.1]\n@=\"DeviceDataWM Class\"\n\n"
      b"[HKEY_CLASSES_ROOT\\CLSID\\{6FA1E685-F669-48B8-83B7-84FFB52677CB}\\InprocServer32]\n"
      b"@=\"/opt/q/libQWBDCAWM.so\"\n\"ThreadingModel\"=\"Apartment\"\n\n"
      b"[HKCU\\Software\\x]\n\"n\"=dword:0000002a\n\"b\"=hex:01,02,\\\n  03\n\"m\"=hex(7):61,00,00,00\n"
      b"\"q\"=\"a \\\"quoted\\\" \\\\ text\"\n\n[-HKCU\\Software\\gone]\n")
write("registry_store", "bom_crlf.reg", b"\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n\r\n[HKLM\\Ident]\r\n\"OrigName\"=\"Aster W1\"\r\n\"OrigName\"=-\r\n")

# ---- time-zone rules ------------------------------------------------------------------
for i, rule in enumerate(["CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0", "<+0330>-3:30",
                          "UTC0", "AEST-10AEDT,M10.1.0,M4.1.0/3", "IST-5:30", "XXX3YYY,J60/1:30,300/-2",
                          "KST-9", "EST5EDT", "<-03>3<-02>,M3.5.0/-2,M10.5.0/-1"]):
    write("timezone_rule", "rule%d" % i, rule.encode())

# ---- AMR-NB voice notes ---------------------------------------------------------------
write("amr_frames", "three_modes.amr",
      b"#!AMR\n" + b"\x3c" + b"\x55" * 31 + b"\x7c" + b"\x44" + b"\0" * 5)
write("amr_frames", "every_mode.amr",
      b"#!AMR\n" + b"".join(bytes([t << 3 | 4]) + b"\x11" * n
                            for t, n in enumerate([12, 13, 15, 17, 19, 20, 26, 31, 5])))
write("amr_frames", "header_only.amr", b"#!AMR\n")
write("amr_frames", "cut_short.amr", b"#!AMR\n\x3c\x01\x02")

# ---- message and SIM records ----------------------------------------------------------
def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def put(buf, at, data):
    buf[at:at + len(data)] = data


def wide(text):
    return text.encode("utf-16-le")


stream = bytearray(4712)
for i, w in enumerate([2008, 11, 1, 3, 9, 41, 7, 250]):
    put(stream, 4 + 2 * i, u16(w))
put(stream, 62, wide("010-5555-0101"))
put(stream, 580, wide("Hi \uD55C \U0001F600"))
put(stream, 1606, wide("20081103000000001"))
put(stream, 2652, u16(2))
put(stream, 3688, wide("010-9999-0000"))
write("message_records", "stream_message", bytes(stream))
full_text = bytearray(stream)
put(full_text, 580, wide("x" * 513))
write("message_records", "stream_message_full_area", bytes(full_text))
full_id = bytes(range(1, 17)) + bytes([4, 3, 2, 1])
write("message_records", "entry_ids", u32(4) + u32(1) + u32(2) + u32(20) + full_id + u32(6)
      + bytes([0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0, 0]))
write("message_records", "entry_ids_overlong", u32(0) + u32(0) + u32(2) + u32(24) + bytes([7] * 24)
      + u32(20) + full_id)
write("message_records", "get_by_entry_id", u32(4) + u32(3) + u32(6) + bytes([0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5]))
write("message_records", "message_ids", u32(4) + u32(2) + u32(3) + u32(7) + u32(9) + u32(0x100))
sim = bytearray(336)
put(sim, 0, u32(0x2A))
put(sim, 4, wide("\uAE40\uBBFC\uC218"))
put(sim, 38, wide("+821055550101"))
put(sim, 120, wide("0212345678"))
put(sim, 202, wide("minsu@example.kr"))
write("message_records", "sim_records", u32(2) + bytes(sim) + bytes(sim))
write("message_records", "sim_records_cut", u32(3) + bytes(sim) + bytes(sim[:100]))

# ---- MMS bodies ------------------------------------------------------------------------
def mms(boundary, parts, closing=True):
    out = ("MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"%s\"; "
           "type=\"application/smil\"\r\n\r\n" % boundary).encode()
    for ctype, name, data in parts:
        out += ("--%s\r\nContent-Type: %s; name=\"%s\"\r\nContent-Location: %s\r\n"
                "Content-Transfer-Encoding: binary\r\n\r\n" % (boundary, ctype, name, name)).encode("utf-8")
        out += data + b"\r\n"
    if closing:
        out += ("--%s--\r\n" % boundary).encode()
    return out


smil = (b"<smil><body><par dur=\"5000ms\"><img src=\"photo.jpg\"/><text src=\"text.txt\"/>"
        b"</par></body></smil>")
write("mms_body", "smil_photo_text", mms("----=_Part_1_QWBmms", [
    ("application/smil", "pres.smil", smil),
    ("image/jpeg", "photo.jpg", b"\xff\xd8\xff\xe0\0\x10JFIF\0\r\n\r\n\xff\xd9"),
    ("text/plain; charset=utf-8", "text.txt", "생일 축하해! Happy birthday".encode())]))
write("mms_body", "unclosed", mms("b", [("text/plain", "a.txt", b"hi")], closing=False))
write("mms_body", "unquoted_boundary",
      b"Content-Type: Multipart/Mixed; BOUNDARY=xyz\r\n\r\n--xyz\r\nContent-Location: s.amr\r\n\r\n"
      b"#!AMR\n\0\0\r\n--xyz--\r\n")
write("mms_body", "not_multipart", b"Content-Type: text/plain\r\n\r\nhello")

# ---- control channel: device information payloads and channel streams -----------------
info = bytes([
    0x4c, 0x2a, 0x8e, 0x5b, 0x3d, 0x1f, 0x6a, 0x4e, 0x9b, 0x7c, 0x0d, 0x1e, 0x2f, 0x3a, 0x4b, 0x5c,
    0x05, 0, 0, 0, 0x02, 0, 0, 0, 0x08, 0, 0, 0]) + wide("WM_Phone\0") + bytes([
    0xd3, 0x04, 0, 0, 0x11, 0x0a, 0, 0, 0, 0, 0, 0, 0x4d, 0x3c, 0x2b, 0x1a, 0, 0, 0, 0,
    0x0a, 0, 0, 0]) + b"PocketPC\0\0" + u32(7) + b"DEMO-01\0" + u32(0) + u32(0)
write("control_channel", "device_info", info)
locked = bytearray(info)
put(locked, 0x60, u32(0x3C))
write("control_channel", "device_info_locked", bytes(locked))
write("control_channel", "device_info_long_name", info[:0x18] + u32(0x7FFFFFFF) + info[0x1C:])
# A whole phone -> PC stream: hello, request, device information, pong; and the PC -> phone
# one: answers, session request, password (1234 under key 0x3C).
write("control_channel", "phone_stream", bytes([0x55]) + u32(0) + u32(6) + u32(4) + u32(len(info)) + info
      + u32(2) + u32(2))
write("control_channel", "pc_stream", bytes([0xEE]) + u32(3) + u32(7) + u32(8) + u32(4) + u32(5)
      + u32(5) + u32(4) + u32(1) + bytes([0x08, 0x00, 0x0d, 0x3c, 0x0e, 0x3c, 0x0f, 0x3c, 0x08, 0x3c]))

# ---- delete-info file ------------------------------------------------------------------
write("delete_info", "path", wide("\\My Documents\\사진\\a.jpg"))
write("delete_info", "odd_byte", wide("\\a") + b"\x41")
write("delete_info", "nul_inside", wide("\\Temp\\x.bin\0garbage"))
write("delete_info", "overlong", wide("\\" + "d" * 1100))

# ---- vCards a user imports ---------------------------------------------------------------
write("vcard_import", "vcard40",
      ("BEGIN:VCARD\r\nVERSION:4.0\r\nUID:qwbdcawm-fuzz-contact-7\r\nFN:김민지\r\n"
       "N;SORT-AS=\"Kim,Minji\":김;민지;;;\r\nX-PHONETIC-LAST-NAME:Kim\r\n"
       "TEL;TYPE=cell;X-PHONE-KIND=mobile:010-1234-5678\r\nTEL;TYPE=\"work,voice\":02-555-0101\r\n"
       "TEL;TYPE=x-radio:7788\r\nEMAIL;TYPE=home:minji@example.kr\r\nBDAY:19850412\r\n"
       "ADR;TYPE=work:;;123 Teheran-ro\\, Gangnam;Seoul;;06234;Korea\r\n"
       "CATEGORIES:Family,Friends\\, close\r\nNOTE:line one\\nline two \r\n two folded\r\n"
       "X-SPEED-DIAL:3\r\nNICKNAME:Min\r\nORG:Example Co;R&D\r\nTITLE:Engineer\r\n"
       "URL:https://example.kr/\r\nEND:VCARD\r\n").encode())
write("vcard_import", "vcard30_two",
      b"BEGIN:VCARD\nVERSION:3.0\nFN:John Smith\nN:Smith;John;Q.;Dr.;Jr.\n"
      b"TEL;TYPE=HOME,VOICE:+1-555-0100\nTEL;TYPE=FAX:+1-555-0101\nTEL;TYPE=PAGER:5550102\n"
      b"EMAIL;TYPE=INTERNET:john@example.com\nBDAY:1970-01-31\nCATEGORIES:Work\nCATEGORIES:Golf\n"
      b"END:VCARD\nBEGIN:VCARD\nVERSION:3.0\nFN:\nEND:VCARD\n")
write("vcard_import", "no_card", b"BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n")

# ---- phonebook stream packets: reply bodies and request payloads ------------------------
def z(text, size):
    b = text.encode()
    return b + b"\0" * (size - len(b))


write("phonebook_packet", "entry_ids", u32(2) + u32(3) + u32(1))
write("phonebook_packet", "entry_ids_lying", u32(0x40000001))
write("phonebook_packet", "categories", u32(0) + u32(1) + u32(5) + z("Work", 8) + u32(2) + u32(6)
      + z("Other", 8) + u32(3) + u32(7) + z("Family", 8) + u32(4) + u32(8) + z("Friends", 8))
write("phonebook_packet", "contact_reply", u32(7) + u32(1) + u32(9) + z("LastName", 12) + u32(4) + z("Kim", 4))
write("phonebook_packet", "contact_reply_lying", u32(7) + u32(0) + u32(40) + z("LastName", 12))
write("phonebook_packet", "contact_write", u32(1) + u32(0x12) + u32(1) + u32(5) + z("Body", 8) + u32(4) + z("abc", 4))
write("phonebook_packet", "category_write", u32(8) + u32(4) + u32(6) + "가족".encode() + b"\0\0")
speed = u32(5) + u32(0x21) + u32(0) + u32(0x0096001F) + bytes(8) + z("", 0) \
    + wide("Mina").ljust(512, b"\0") + wide("010-1234").ljust(512, b"\0")
write("phonebook_packet", "speed_dial_entry", speed)
write("phonebook_packet", "speed_dial_list", u32(1) + speed)

# ---- reading-name documents (UTF-16LE, as the phone's ADD_INFOS holds them) ---------------
write("reading_names", "both", wide("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Yomigana>"
      "<YomiLastName>Kim &amp; Lee</YomiLastName>\r\n<YomiFirstName>Minji</YomiFirstName>\r\n</Yomigana>"))
write("reading_names", "swapped_order", wide("<Yomigana><YomiFirstName>an</YomiFirstName>"
      "<YomiLastName>ri</YomiLastName></Yomigana>"))
write("reading_names", "raw_markup", wide("<Yomigana><YomiLastName>Kim & <Lee></YomiLastName>"
      "<YomiFirstName></YomiFirstName></Yomigana>"))
write("reading_names", "korean", wide("<Yomigana><YomiLastName>김</YomiLastName><YomiFirstName>민지"
      "</YomiFirstName></Yomigana>"))
write("reading_names", "not_xml", wide("host's own"))

# ---- the emulator's control socket: one JSON line each ----------------------------------
control_lines = {
    "fail_error": '{"cmd":"fail","name":"CeReadFile","count":1,"error":5}',
    "fail_hresult": '{"cmd":"fail","name":"DevCeGet","hresult":"0x80004005"}',
    "drop_on_call": '{"cmd":"drop","onCall":2,"name":"CeReadFile"}',
    "drop_after_bytes": '{"cmd":"drop","afterFileBytes":10}',
    "cut": '{"cmd":"cut","name":"DevCeEcho","afterBytes":3}',
    "power": '{"cmd":"power","ac":1,"percent":50,"flag":8}',
    "power_state": '{"cmd":"power","state":"suspend"}',
    "delay": '{"cmd":"delay","ms":20}',
    "unplug": '{"cmd":"unplug"}',
    "control_without_dialler": '{"cmd":"control","action":"stall"}',
    "unknown": '{"cmd":"explode"}',
    "not_json": "not json",
}
for name, line in control_lines.items():
    write("emulator_control", name, line.encode() + b"\n")
