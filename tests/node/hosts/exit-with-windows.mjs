// A host that ends with process.exit(STATUS) while its windows are open, a
// call of the page pending and items on their way.
import { Window } from '../../../bindings/node/index.mjs';

const status = Number(process.argv[2]);
const window = new Window();
window.setHtml('<p>open at exit</p>');
window.once('page-loaded', () => {
  const child = new Window({ parent: window });
  child.setHtml('<p>child</p>');
  window.callJs('await new Promise(() => {});').catch(() => {});
  window.runJs('for (let i = 0; i < 1000; ++i) kiv_send_event({late: i});');
  setTimeout(() => process.exit(status), 50);
});
