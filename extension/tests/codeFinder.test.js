'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { findCode, chooseCode, displayCode } = require('../lib/codeFinder.js');

function message(fields) {
  return {
    id: fields.id || 'acct:1',
    accountID: 'acct',
    provider: 'google',
    accountEmail: 'me@example.org',
    sender: fields.sender || 'Example <no-reply@example.com>',
    senderAuthenticated: fields.senderAuthenticated ?? true,
    subject: fields.subject || '',
    text: fields.text || '',
    html: fields.html || '',
    receivedAt: 1700000000000,
  };
}

// [name, subject, text, expected code or null]
const CODES = [
  ['english plain', 'Your sign-in code', 'Your verification code is 482913.', '482913'],
  ['english code on its own line', 'Sign in to Example', 'Use this code to sign in:\n\n735104\n\nIt expires in 10 minutes.', '735104'],
  ['code before its words', 'Example', '583920 is your Example verification code.', '583920'],
  ['spaced groups', 'Verify it is you', 'Enter the code 482 913 to continue.', '482913'],
  ['hyphenated groups', 'Security code', 'Your security code: 4829-1377', '48291377'],
  ['letters and digits', 'Your one-time code', 'One-time code: K7Q2XP', 'K7Q2XP'],
  ['hyphenated letters', 'Login code', 'Your login code is K7Q-2XP', 'K7Q2XP'],
  ['four digits', 'Your PIN', 'Your PIN is 4821', '4821'],
  ['ten digits', 'OTP', 'OTP: 1234567890', '1234567890'],
  ['code in the subject', '482913 is your Example code', '', '482913'],
  ['2FA', 'Two-factor authentication', 'Your 2FA code: 660182', '660182'],
  ['passcode', 'Passcode', 'Here is your passcode - 209341', '209341'],
  ['html only', 'Code', '', '480213', '<p>Your verification code</p><p><b>480213</b></p>'],
  ['html table layout', 'Confirm sign-in', '', '771204', '<table><tr><td>Code:</td><td style="font-size:24px">771204</td></tr></table>'],
  ['spanish', 'Tu código', 'Tu código de verificación es 593021.', '593021'],
  ['spanish clave', 'Clave de acceso', 'Usa la clave 774120 para entrar.', '774120'],
  ['portuguese', 'Código de verificação', 'Seu código de verificação: 302915', '302915'],
  ['german', 'Ihr Bestätigungscode', 'Ihr Bestätigungscode lautet 918273.', '918273'],
  ['german sicherheitscode', 'Anmeldung', 'Sicherheitscode: 551902', '551902'],
  ['french', 'Code de vérification', 'Votre code de vérification est 640218', '640218'],
  ['french usage unique', 'Connexion', 'Code à usage unique : 118204', '118204'],
  ['italian', 'Codice di verifica', 'Il tuo codice di verifica è 884120', '884120'],
  ['dutch', 'Verificatiecode', 'Je verificatiecode is 903412', '903412'],
  ['polish', 'Kod weryfikacyjny', 'Twój kod weryfikacyjny to 221904', '221904'],
  ['russian', 'Код подтверждения', 'Ваш код подтверждения: 480193', '480193'],
  ['turkish', 'Doğrulama kodu', 'Doğrulama kodunuz: 611820', '611820'],
  ['japanese', '認証コード', '認証コード：583104', '583104'],
  ['chinese simplified', '验证码', '您的验证码是 902183，10分钟内有效。', '902183'],
  ['chinese traditional', '驗證碼', '您的驗證碼為 301928', '301928'],
  ['korean', '인증 코드', '인증 코드: 720193', '720193'],
  ['code after a date', 'Your code', 'On 2026-12-06 you asked to sign in. Your code is 392011.', '392011'],
  ['code after a price', 'Verify purchase', 'Confirm your $49.99 purchase with code 660391', '660391'],
  ['code and phone number', 'Verification', 'Call +1 415 555 0199 if this was not you. Verification code: 884211', '884211'],
  ['code and order number', 'Verify your order', 'Order #AB12345 needs verification. Code: 551822', '551822'],
  ['code and address footer', 'Sign-in code', 'Your code: 448120\n\nExample Inc., 1600 Amphitheatre Pkwy, Mountain View, CA 94043', '448120'],
  ['code and postcode', 'Anmeldecode', 'Ihr Code: 703915\nExample GmbH, Hauptstraße 5, 10115 Berlin', '703915'],
];

// A third of the cases: number-shaped things that must never be offered as a code.
const NEVER = [
  ['iso date', 'Your code', 'Your code request from 2026-12-06 has expired.'],
  ['slashed date', 'Code expired', 'The code you requested on 06/12/2026 expired.'],
  ['dotted date', 'Verification', 'Verification requested on 06.12.2026.'],
  ['written date', 'Verification', 'Your verification was on December 6, 2026.'],
  ['german written date', 'Bestätigung', 'Bestätigung vom 6. Dezember 2026'],
  ['year alone', 'Code of conduct', 'Our code of conduct was updated in 2026.'],
  ['time', 'Sign-in code', 'Your sign-in code expired at 14:30.'],
  ['time with seconds', 'Verification', 'Verification attempt at 09:41:27 failed.'],
  ['dollar price', 'Your code for savings', 'Use the discount code at checkout and pay $1299 only.'],
  ['euro price', 'Code promo', 'Code promo: économisez 1500 €'],
  ['price with currency word', 'Verification', 'Verification fee: 2500 USD'],
  ['international phone', 'Verification', 'Verification questions? Call +44 20 7946 0958.'],
  ['us phone', 'Your code', 'Your code did not work? Call (415) 555-0199.'],
  ['dashed phone', 'Code', 'Code support: 415-555-0199'],
  ['order number', 'Order confirmation', 'Your order number 48291377 has shipped. Verification not needed.'],
  ['hash order number', 'Your code', 'Your code for order #482913 is not required.'],
  ['tracking number', 'Shipping', 'Verification done. Tracking number: 1Z999AA10123456784'],
  ['invoice', 'Your invoice code', 'Invoice no. 2026-4821 is attached.'],
  ['german order', 'Ihre Bestellung', 'Bestellnummer: 302918, Code nicht nötig'],
  ['us zip', 'Verify your address', 'Verify: 1 Main St, Springfield, IL 62704'],
  ['uk postcode', 'Verification', 'Verification letter sent to London SW1A 1AA'],
  ['european postcode', 'Bestätigung', 'Bestätigung an Hauptstraße 5, 10115 Berlin'],
  ['digits inside a link', 'Sign in', 'Sign in code here: https://example.com/login?token=482913'],
  ['digits in an address', 'Your code', 'Your code was sent to user482913@example.com'],
  ['percentage', 'Code', 'Use the code to save 25% on 1000 items'],
  ['no code words', 'Newsletter', 'We shipped 482913 parcels this year.'],
  ['version number', 'Release', 'Verification tool 4.8.2913 released'],
  ['decimal', 'Verification', 'Verification score 3.14159'],
  ['product name', 'Code', 'Code with the new H264 encoder'],
  ['lowercase word with digit', 'Verify', 'Verify your mp3player settings'],
];

test('finds the code a message announces', async (t) => {
  for (const [name, subject, text, expected, html] of CODES) {
    await t.test(name, () => {
      const found = findCode(message({ subject, text, html }));
      assert.equal(found && found.code, expected);
    });
  }
});

test('never offers dates, times, years, prices, phone, order, tracking or postal numbers', async (t) => {
  for (const [name, subject, text] of NEVER) {
    await t.test(name, () => {
      assert.equal(findCode(message({ subject, text })), null);
    });
  }
});

test('prefers the message that names the site and passed authentication', () => {
  const messages = [
    message({ id: 'a:1', sender: 'Other <x@other.net>', senderAuthenticated: false, subject: 'Your code', text: 'Code: 111222' }),
    message({ id: 'a:2', sender: 'Example <no-reply@example.com>', subject: 'Your Example code', text: 'Code: 333444' }),
    message({ id: 'a:3', sender: 'Example <no-reply@example.com>', subject: 'Your Example code', text: 'Code: 555666' }),
  ];
  const chosen = chooseCode(messages, 'login.example.com');
  assert.deepEqual(
    { code: chosen.code, messageID: chosen.messageID, sender: chosen.sender },
    { code: '333444', messageID: 'a:2', sender: 'Example' },
  );
  assert.equal(chooseCode(messages.slice(0, 1), 'login.example.com').code, '111222');
  assert.equal(chooseCode([message({ subject: 'Hello', text: 'Nothing here' })], 'example.com'), null);
});

test('shows six and eight digit codes in two groups', () => {
  const rows = [['482913', '482 913'], ['48291377', '4829 1377'], ['K7Q2XP', 'K7Q2XP'], ['4821', '4821']];
  for (const [code, shown] of rows) {
    assert.equal(displayCode(code), shown, code);
  }
});
