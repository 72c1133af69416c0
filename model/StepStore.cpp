// SPDX-License-Identifier: LGPL-2.1-or-later
#include "model/StepStore.h"

void StepStore::Clear() {
  noteStore->Clear();
  free.clear();
  steps.clear();
  count = 0;
  for (int32_t i = 0; i < growBy; ++i) {
    free.push_back(i);
    steps.emplace_back();
  }
  count = growBy;
}

int StepStore::GetNew() {
  if (free.empty()) {
    for (int32_t i = count; i < count + growBy; ++i) {
      free.push_back(i);
      steps.emplace_back();
    }
    count += growBy;
  }
  int index = free.back();
  free.pop_back();
  return index;
}

void StepStore::Dispose(int index) {
  free.push_back(index);
  StepRecord& step = steps[index];
  for (int32_t noteIndex : step) noteStore->Dispose(noteIndex);
  step.clear();
}
