// A CommonJS host that opens a window, closes it once its page has loaded,
// and then simply returns: nothing of the package may keep it alive.
const { Window, openWindows } = require('../../../bindings/node');

const window = new Window({ title: 'ends by itself' });
window.on('page-loaded', () => window.close());
window.on('closed', () => {
  // Emitted once close() has returned, after the handler that called it.
  setImmediate(() => console.log(`closed; open windows: ${openWindows().length}`));
});
window.setHtml('<p>bye</p>');
