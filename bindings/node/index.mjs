// The ES module face of the package: the same objects as require("kivwebview").
import kivwebview from './index.cjs';

export const {
  Window, openWindows, loadLibrary, ENV_VARIABLE, ALL_EVENTS, ANY_ORIGIN, RESULT_CODES,
  KivWebviewError, LibraryNotFoundError, ResultError, JavaScriptError,
} = kivwebview;
export default kivwebview;
