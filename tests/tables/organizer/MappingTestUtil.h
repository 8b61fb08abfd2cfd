// Helpers of the organizer mapping tests: dates written as text, a request's properties and a
// field map's columns checked against "Name=value" lists, field maps built from pairs.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/FieldMap.h"
#include "core/Log.h"
#include "link/DeviceRecord.h"
#include "tables/organizer/TimeConv.h"

namespace qwb {

using devrec::Property;
using Props = std::vector<devrec::RawEntry>;

inline DATE At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  DATE out = 0;
  EXPECT_TRUE(MakeOleDate(y, mo, d, h, mi, s, &out));
  return out;
}

// "2026-07-01" at midnight, "2026-07-01T13:15" or "...T13:15:42" otherwise; "~" marks a
// value that is not exactly that second.
inline std::string DateText(DATE d) {
  OleDateParts p{};
  if (!SplitOleDate(d, &p)) return "invalid";
  char text[40];
  int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d", p.year, p.month, p.day);
  if (p.hour || p.minute || p.second) {
    n += std::snprintf(text + n, sizeof text - n, "T%02d:%02d", p.hour, p.minute);
  }
  if (p.second) std::snprintf(text + n, sizeof text - n, ":%02d", p.second);
  DATE exact = 0;
  MakeOleDate(p.year, p.month, p.day, p.hour, p.minute, p.second, &exact);
  return text + std::string(exact == d ? "" : "~");
}

inline FieldMap Fields(std::vector<std::pair<std::u16string, Variant>> entries) {
  FieldMap f;
  for (auto& [k, v] : entries) PutField(f, k, v);
  return f;
}

inline const devrec::RawEntry* Find(const Props& props, const std::string& name) {
  for (const auto& p : props)
    if (p.name == name) return &p;
  return nullptr;
}

// Checks "Name=value ..." against the request ("." stands for "RecurrPattern."): "-" for
// absent, numbers for integers and booleans, dates as DateText, texts as they are.
inline void ExpectProps(const Props& props, const std::string& expected) {
  std::istringstream in(expected);
  for (std::string token; in >> token;) {
    const std::string name = token.substr(0, token.find('='));
    const devrec::RawEntry* e = Find(props, name[0] == '.' ? "RecurrPattern" + name : name);
    std::string actual = e ? "?" : "-";
    int32_t i = 0;
    uint16_t b = 0;
    double d = 0;
    if (e && e->type == devrec::kTypeInteger && devrec::ValueAsInteger(*e, &i)) {
      actual = std::to_string(i);
    } else if (e && e->type == devrec::kTypeBoolean && devrec::ValueAsBoolean(*e, &b)) {
      actual = std::to_string(b);
    } else if (e && e->type == devrec::kTypeDate && devrec::ValueAsDate(*e, &d)) {
      actual = DateText(d);
    } else if (e && e->type == devrec::kTypeString) {
      actual = devrec::ValueAsString(*e);
    }
    EXPECT_EQ(name + "=" + actual, token);
  }
}

// The same for columns ("." stands for "RECURRENCE_"): "-" for absent, "null", numbers, dates
// as DateText, texts as they are.
inline void ExpectColumns(const FieldMap& f, const std::string& expected) {
  std::istringstream in(expected);
  for (std::string token; in >> token;) {
    const std::string name = token.substr(0, token.find('='));
    const std::u16string key = FromUtf8(name[0] == '.' ? "RECURRENCE_" + name.substr(1) : name);
    const Variant* v = FindField(f, key);
    std::string actual = !v ? "-" : v->vt() == VT_NULL ? "null" : "?";
    if (v && v->vt() == VT_I4) actual = std::to_string(v->Get().lVal);
    if (v && v->vt() == VT_DATE) actual = DateText(v->Get().date);
    if (v && v->vt() == VT_BSTR) actual = ToUtf8(ReadFieldString(f, key));
    EXPECT_EQ(name + "=" + actual, token);
  }
}

}  // namespace qwb
