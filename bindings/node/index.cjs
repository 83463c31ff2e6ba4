'use strict';
// Browser windows from Node.js, over the C interface of kivwebview_qt.
const { Window, openWindows, ALL_EVENTS } = require('./lib/window');
const { ENV_VARIABLE, loadLibrary } = require('./lib/native');
const { ANY_ORIGIN } = require('./lib/origins');
const {
  RESULT_CODES, KivWebviewError, LibraryNotFoundError, ResultError, JavaScriptError,
} = require('./lib/errors');

module.exports = {
  Window, openWindows, loadLibrary, ENV_VARIABLE, ALL_EVENTS, ANY_ORIGIN, RESULT_CODES,
  KivWebviewError, LibraryNotFoundError, ResultError, JavaScriptError,
};
