'use strict';
// The package's side of the library's event pump, on Node's event loop.
//
// The library runs its toolkit's loop only inside its own calls. Its callback
// records arrive nested in whichever call pumps the loop; here they are only
// copied into a queue, and emitted, in order, once the outermost call has
// returned: no handler of this package runs inside a library call.
//
// While any window is open the pump runs the library in short turns, one per
// turn of Node's loop (setImmediate), so that timers, sockets and servers of
// the same process keep their pace. With no window open it schedules nothing,
// so that nothing of the package keeps the process alive.

const native = require('./native');

/** The library's share of one turn of Node's loop, in milliseconds:
 * kiv_webview_process_events(1) runs one slice of the toolkit's loop (2 ms)
 * after the library's 0.5 ms rest. A timer or a socket of the program waits
 * at most about that long. */
const TURN_MS = 1;

const state = {
  lib: null,
  callback: null, // the one registered C callback, shared by every window
  depth: 0, // nesting of calls into the library
  // Records copied during calls, [handle, text] pairs from `head` on.
  queue: [],
  head: 0,
  draining: false,
  windows: new Map(), // handle -> Window, until its "closed"
  pumpScheduled: false,
  exiting: false,
};

const TEXT_OFFSET = native.koffi.offsetof(native.Record, 'text');

function onRecord(pointer) {
  // Nested in a library call: copy, give back, queue. Nothing may throw here.
  try {
    // The two members read one by one: quicker than the record as a whole.
    const text = native.koffi.decode(pointer, TEXT_OFFSET, 'const char *');
    state.queue.push(native.koffi.decode.int(pointer), text === null ? '' : text);
  } catch (error) {
    // An undecodable record is dropped; the library still gets it back.
  } finally {
    state.lib.destroy_event(pointer);
  }
}

/** The loaded library, with the package's callback registered. */
function library() {
  if (state.lib === null) {
    const lib = native.loadLibrary();
    state.callback = native.koffi.register(onRecord, native.koffi.pointer(native.EventCallback));
    state.lib = lib;
    process.once('exit', () => {
      // The library shuts itself down at exit, calling nothing back.
      state.exiting = true;
    });
  }
  return state.lib;
}

/** Runs `fn(lib)` as one call into the library, then emits the events that
 * arrived meanwhile (unless an outer call or an emission is under way). */
function call(fn) {
  const lib = library();
  state.depth += 1;
  try {
    return fn(lib);
  } finally {
    state.depth -= 1;
    if (state.depth === 0) drain();
  }
}

function reportLater(error) {
  // A handler's exception surfaces as any listener's would in an
  // asynchronous emitter: as an uncaught exception, after the queue.
  process.nextTick(() => {
    throw error;
  });
}

/** Emits the queued events in order. Handlers that call the library add to
 * the queue; this loop emits those events after the handler returns. */
function drain() {
  if (state.draining) return;
  if (state.head === state.queue.length) {
    // Nothing came in: the common case of an idle pump's turn.
    schedulePump();
    return;
  }
  state.draining = true;
  try {
    while (state.head < state.queue.length) {
      const handle = state.queue[state.head];
      const text = state.queue[state.head + 1];
      state.head += 2;
      if (state.head > 4096 && state.head * 2 > state.queue.length) {
        state.queue = state.queue.slice(state.head);
        state.head = 0;
      }
      const window = state.windows.get(handle);
      if (window === undefined) continue;
      try {
        window._dispatch(text);
      } catch (error) {
        reportLater(error);
      }
    }
    state.queue = [];
    state.head = 0;
  } finally {
    state.draining = false;
  }
  schedulePump();
}

function turn() {
  state.pumpScheduled = false;
  if (state.windows.size === 0 || state.exiting) return;
  call((lib) => lib.process_events(TURN_MS));
  schedulePump();
}

function schedulePump() {
  if (!state.pumpScheduled && state.windows.size > 0 && !state.exiting) {
    state.pumpScheduled = true;
    setImmediate(turn);
  }
}

module.exports = { state, call, library, schedulePump, reportLater, TURN_MS };
