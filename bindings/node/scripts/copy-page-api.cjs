// Run by `npm pack` (prepack, postpack): the page-side script is one file
// shared by the host packages, bindings/shared/page_api.js. The packed package
// carries a copy of it in lib/; the source tree keeps none.
const fs = require('node:fs');
const path = require('node:path');

const shared = path.join(__dirname, '..', '..', 'shared', 'page_api.js');
const copy = path.join(__dirname, '..', 'lib', 'page_api.js');

if (process.argv.includes('--remove')) {
  fs.rmSync(copy, { force: true });
} else {
  fs.copyFileSync(shared, copy);
}
