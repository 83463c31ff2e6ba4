/* The one export macro of the kivwebview_qt library.
 *
 * Everything in the library is hidden by default; only the C interface
 * and the central class Kivwebview_qt carry KIVWEBVIEW_EXPORT. */
#ifndef KIVWEBVIEW_QT_EXPORT_H
#define KIVWEBVIEW_QT_EXPORT_H

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(KIVWEBVIEW_QT_BUILDING)
#define KIVWEBVIEW_EXPORT __declspec(dllexport)
#else
#define KIVWEBVIEW_EXPORT __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define KIVWEBVIEW_EXPORT __attribute__((visibility("default")))
#else
#define KIVWEBVIEW_EXPORT
#endif

#endif /* KIVWEBVIEW_QT_EXPORT_H */
