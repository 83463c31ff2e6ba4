// The heap records handed to the host: a malloc'd record holding a malloc'd
// copy of its text.
#ifndef KIVWEBVIEW_RECORDS_H
#define KIVWEBVIEW_RECORDS_H

#include "kivwebview_qt.h"

#include <QByteArray>

#include <cstddef>

// A result record holding a copy of text; null when memory is exhausted.
kiv_js_result_t *newResultRecord(result_t status, const QByteArray &text);
// An event record holding a copy of text; null when memory is exhausted.
kiv_event_t *newEventRecord(int handle, const QByteArray &text);
// The record {status, "false"} for when no record can be allocated: one
// static record per status, shared by every such call; freeRecord leaves it
// alone. Never null.
kiv_js_result_t *lastResortRecord(result_t status) noexcept;
// Frees a record of either kind (both have the same layout).
void freeRecord(void *record);

// How records and their texts get their memory: malloc, unless a test of
// the failure paths puts another in (one that returns null, or throws).
// What it returns is given back with free.
using RecordAllocator = void *(*)(std::size_t size);
void setRecordAllocator(RecordAllocator allocator);

#endif // KIVWEBVIEW_RECORDS_H
