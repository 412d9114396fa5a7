'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { hostProblem, accountLines, summary } = require('../lib/popupText.js');

test('explains why the desktop app cannot be reached', () => {
  const rows = [
    ['Specified native messaging host not found.', /Open Zevirudi on this computer once/],
    ['Access to the specified native messaging host is forbidden.', /does not accept this copy/],
    ['Native host has exited.', /stopped while answering/],
    ['The desktop app answered in a form this extension does not know.', /different version/],
  ];
  for (const [chromeText, explanation] of rows) {
    assert.match(hostProblem(chromeText), explanation, chromeText);
  }
});

test('shows each inbox with the state of its last check', () => {
  const status = {
    ok: true,
    accounts: [
      { id: 'g', provider: 'google', email: 'a@gmail.com' },
      { id: 'm', provider: 'microsoft', email: 'b@outlook.com' },
      { id: 'n', provider: 'google', email: 'c@gmail.com' },
    ],
  };
  const health = {
    accountChecks: [
      { accountID: 'g', status: 'ready' },
      { accountID: 'm', status: 'reconnectRequired', message: 'Connect b@outlook.com again in Zevirudi.', failureCode: 'reconnect_required' },
    ],
  };
  assert.deepEqual(
    accountLines(status, health).map((line) => [line.email, line.provider, line.stateName, line.stateText]),
    [
      ['a@gmail.com', 'Gmail', 'ready', 'Mail access works'],
      ['b@outlook.com', 'Outlook or Hotmail', 'reconnectRequired', 'Connect b@outlook.com again in Zevirudi.'],
      ['c@gmail.com', 'Gmail', 'unknown', 'Not checked yet'],
    ],
  );
  assert.deepEqual(summary(status), { text: '3 inboxes connected', problem: false });
  assert.equal(summary({ ok: true, accounts: [] }).problem, true);
  assert.equal(summary({ ok: false, accounts: [], error: 'Connected accounts could not be read. x' }).text, 'Connected accounts could not be read. x');
});
