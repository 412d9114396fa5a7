'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { isCodeField, codeTargets, fillPlan } = require('../lib/fieldDetection.js');

function input(fields) {
  return { tag: 'INPUT', type: 'text', visible: true, container: 'form', order: 0, ...fields };
}

test('recognises fields that wait for a code', async (t) => {
  const rows = [
    ['autocomplete one-time-code', { autocomplete: 'one-time-code' }, true],
    ['name otp', { name: 'otp' }, true],
    ['camel-case id', { id: 'verificationCode' }, true],
    ['snake-case name', { name: 'mfa_token' }, true],
    ['english placeholder', { placeholder: 'Enter the 6-digit code' }, true],
    ['aria label', { ariaLabel: 'Two-factor code' }, true],
    ['tel input with label', { type: 'tel', label: 'Security code' }, true],
    ['spanish label', { label: 'Código de verificación' }, true],
    ['german label', { label: 'Bestätigungscode' }, true],
    ['french placeholder', { placeholder: 'Code de vérification' }, true],
    ['japanese label', { label: '認証コード' }, true],
    ['chinese placeholder', { placeholder: '请输入验证码' }, true],
    ['russian label', { label: 'Код подтверждения' }, true],
    ['polish label', { label: 'Kod weryfikacyjny' }, true],
    ['password field for an otp', { type: 'password', name: 'otp' }, true],
    ['password field', { type: 'password', name: 'password' }, false],
    ['postal code', { name: 'postalCode', label: 'Postal code' }, false],
    ['zip', { name: 'zip_code' }, false],
    ['promo code', { placeholder: 'Promo code' }, false],
    ['coupon code', { name: 'couponCode' }, false],
    ['card security code', { label: 'Card security code (CVC)' }, false],
    ['country code', { name: 'countryCode' }, false],
    ['email', { type: 'email', name: 'email' }, false],
    ['username', { name: 'username' }, false],
    ['spinner is not a pin', { name: 'spinnerValue' }, false],
    ['hidden', { name: 'otp', visible: false }, false],
    ['disabled', { name: 'otp', disabled: true }, false],
    ['read-only', { name: 'otp', readOnly: true }, false],
    ['checkbox', { type: 'checkbox', name: 'otp' }, false],
    ['textarea', { tag: 'TEXTAREA', name: 'code' }, false],
  ];
  for (const [name, fields, expected] of rows) {
    await t.test(name, () => assert.equal(isCodeField(input(fields)), expected));
  }
});

test('finds rows of four to eight one-character boxes', async (t) => {
  const boxes = (count, container, extra = {}) =>
    Array.from({ length: count }, (_, order) => input({ maxLength: 1, container, order, ...extra }));
  const rows = [
    ['six boxes', boxes(6, 'row'), [['split', 6]]],
    ['four boxes', boxes(4, 'row'), [['split', 4]]],
    ['eight boxes', boxes(8, 'row'), [['split', 8]]],
    ['three boxes are no code', boxes(3, 'row'), []],
    ['nine boxes are no code', boxes(9, 'row'), []],
    ['boxes in two containers', [...boxes(3, 'a'), ...boxes(3, 'b')], []],
    ['hidden boxes', boxes(6, 'row', { visible: false }), []],
    ['a row and a single field', [...boxes(6, 'row'), input({ name: 'otp', order: 9 })], [['split', 6], ['single', 1]]],
  ];
  for (const [name, inputs, expected] of rows) {
    await t.test(name, () => {
      assert.deepEqual(codeTargets(inputs).map((target) => [target.kind, target.inputs.length]), expected);
    });
  }
});

test('types one character per box, or the whole code into one field', () => {
  const boxes = Array.from({ length: 6 }, (_, order) => input({ maxLength: 1, container: 'row', order }));
  const [split] = codeTargets(boxes);
  assert.deepEqual(fillPlan(split, '482913').map((step) => step.value), ['4', '8', '2', '9', '1', '3']);
  assert.equal(fillPlan(split, '48291377'), null);
  const [single] = codeTargets([input({ name: 'otp', maxLength: 6 })]);
  assert.deepEqual(fillPlan(single, '482913').map((step) => step.value), ['482913']);
  assert.equal(fillPlan(single, '48291377'), null);
});
