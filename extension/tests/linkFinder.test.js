'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { findLink, chooseLink } = require('../lib/linkFinder.js');

function message(fields) {
  return { id: 'a:1', accountEmail: 'me@example.org', provider: 'google', sender: 'Example <no-reply@example.com>', subject: '', text: '', html: '', ...fields };
}

test('offers sign-in, reset and confirmation links of the page site only', async (t) => {
  const rows = [
    ['magic sign-in link', 'login.example.com', { html: '<a href="https://login.example.com/magic?t=abc">Sign in to Example</a>' }, ['https://login.example.com/magic?t=abc', 'sign-in']],
    ['password reset on a sibling subdomain', 'www.example.com', { html: '<a href="https://accounts.example.com/reset?t=1">Reset your password</a>' }, ['https://accounts.example.com/reset?t=1', 'password-reset']],
    ['confirmation on the registrable domain', 'app.example.co.uk', { html: '<a href="https://example.co.uk/confirm/9">Confirm your email</a>' }, ['https://example.co.uk/confirm/9', 'email-confirmation']],
    ['plain-text link', 'example.com', { text: 'Log in with this link:\nhttps://example.com/login/xyz' }, ['https://example.com/login/xyz', 'sign-in']],
    ['entity in the address', 'example.com', { html: '<a href="https://example.com/login?a=1&amp;b=2">Log in</a>' }, ['https://example.com/login?a=1&b=2', 'sign-in']],
    ['german anmelden', 'example.de', { html: '<a href="https://example.de/x">Jetzt anmelden</a>' }, ['https://example.de/x', 'sign-in']],
    ['another site is never offered', 'example.com', { html: '<a href="https://example.com.evil.net/login">Sign in</a>' }, null],
    ['a look-alike suffix is never offered', 'example.com', { html: '<a href="https://notexample.com/login">Sign in</a>' }, null],
    ['http is never offered', 'example.com', { html: '<a href="http://example.com/login">Sign in</a>' }, null],
    ['user info is never offered', 'example.com', { html: '<a href="https://example.com@evil.net/login">Sign in</a>' }, null],
    ['unsubscribe is never offered', 'example.com', { html: '<a href="https://example.com/unsubscribe?login=1">Unsubscribe</a>' }, null],
    ['a link without purpose', 'example.com', { html: '<a href="https://example.com/blog">Read more</a>' }, null],
    ['a co.uk sibling of another owner', 'shop.example.co.uk', { html: '<a href="https://other.co.uk/login">Sign in</a>' }, null],
    ['an address page with its own host only', '127.0.0.1', { html: '<a href="https://127.0.0.2/login">Sign in</a>' }, null],
  ];
  for (const [name, pageHost, fields, expected] of rows) {
    await t.test(name, () => {
      const link = findLink(message(fields), pageHost);
      assert.deepEqual(link && [link.url, link.linkPurpose], expected);
    });
  }
});

test('takes the newest message with a link and names the link host', () => {
  const messages = [
    message({ id: 'a:2', html: '<a href="https://other.net/login">Sign in</a>' }),
    message({ id: 'a:1', html: '<a href="https://Login.Example.com/magic">Sign in</a>' }),
  ];
  const chosen = chooseLink(messages, 'example.com');
  assert.deepEqual([chosen.messageID, chosen.destinationHost], ['a:1', 'login.example.com']);
});
