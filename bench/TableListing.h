// One whole listing of a data table per benchmark iteration, for the end-to-end listing
// benchmarks: ListItemsAllBegin, then NextItem until the table ends, expecting `expected`
// items each time.
#pragma once

#include <benchmark/benchmark.h>

#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"

inline void ListWholeTable(benchmark::State& state, IDataTable* table, int expected) {
  for (auto _ : state) {
    if (table->ListItemsAllBegin() != S_OK) {
      state.SkipWithError("ListItemsAllBegin failed");
      break;
    }
    int got = 0;
    ComPtr<IItem> item;
    HRESULT hr;
    while (SUCCEEDED(hr = table->NextItem(item.ReleaseAndGetAddressOf())) && item) ++got;
    if (FAILED(hr) || got != expected) {
      state.SkipWithError("NextItem failed or the listing was short");
      break;
    }
  }
}
