// The heap records handed to the host: malloc'd record, strdup'd text.
#ifndef KIVWEBVIEW_RECORDS_H
#define KIVWEBVIEW_RECORDS_H

#include "kivwebview_qt.h"

#include <QByteArray>

// A result record holding a copy of text; null only when memory is exhausted.
kiv_js_result_t *newResultRecord(result_t status, const QByteArray &text);
// An event record holding a copy of text; null only when memory is exhausted.
kiv_event_t *newEventRecord(int handle, const QByteArray &text);
// Frees a record of either kind (both have the same layout).
void freeRecord(void *record);

#endif // KIVWEBVIEW_RECORDS_H
