// Decides which inputs of a page wait for a one-time code. Pure functions over a plain
// description of each input, so that the decision is testable without a browser:
//   { tag, type, autocomplete, name, id, placeholder, ariaLabel, label, maxLength,
//     inputMode, visible, disabled, readOnly, container, order }
// `container` identifies the input's parent element and `order` its position in the page.
(function (root) {
  'use strict';

  // What a code field's name, label or placeholder says, in English and the most used
  // languages of the web. Matched against lower-case words.
  const CODE_FIELD_WORDS = [
    'code', 'otp', 'one time', 'onetime', 'one-time', 'verification', 'verify', '2fa', 'mfa',
    'totp', 'two factor', 'two-factor', 'passcode', 'pin', 'token', 'security code',
    'código', 'codigo', 'verificación', 'verificação', 'clave', 'bestätigungscode', 'sicherheitscode',
    'einmalcode', 'verifizierung', 'vérification', 'verification', 'codice', 'verifica',
    'verificatiecode', 'kod', 'weryfikac', 'код', 'подтвержд', 'doğrulama', 'コード', '認証',
    '確認', 'ワンタイム', '验证码', '驗證碼', '校验码', '인증', '코드',
  ];

  // Fields that also say "code" but wait for something else.
  const OTHER_FIELDS = [
    'zip', 'postal', 'postcode', 'post code', 'plz', 'promo', 'coupon', 'discount', 'voucher',
    'gift', 'country', 'area code', 'phone', 'captcha', 'referral', 'invite', 'invitation',
    'card', 'cvc', 'cvv', 'csc', 'search', 'email', 'e-mail', 'user', 'username', 'qr',
    'rabatt', 'gutschein', 'cupón', 'descuento', 'código postal', 'code postal', 'cap',
  ];

  const TEXT_TYPES = new Set(['', 'text', 'tel', 'number', 'password']);

  // "otpCode", "verification_code", "code-input" become "otp code", "verification code", ...
  function words(value) {
    return String(value || '')
      .replace(/([a-z])([A-Z])/g, '$1 $2')
      .replace(/[_\-.[\]]+/g, ' ')
      .toLowerCase();
  }

  function mentions(text, list) {
    return list.some((word) => {
      const at = text.indexOf(word);
      if (at === -1) {
        return false;
      }
      // Latin words stand on their own ("pin" is not "spinner"); other scripts need no spaces.
      if (!/^[a-z0-9]/.test(word)) {
        return true;
      }
      const pattern = new RegExp(`(^|[^a-z0-9])${word.replace(/[-.]/g, '\\$&')}`);
      return pattern.test(text);
    });
  }

  function isUsable(input) {
    return (
      String(input.tag || '').toUpperCase() === 'INPUT' &&
      TEXT_TYPES.has(String(input.type || '').toLowerCase()) &&
      input.visible !== false &&
      !input.disabled &&
      !input.readOnly
    );
  }

  // One field that takes a whole code.
  function isCodeField(input) {
    if (!isUsable(input)) {
      return false;
    }
    if (/\bone-time-code\b/i.test(String(input.autocomplete || ''))) {
      return true;
    }
    const described = [input.name, input.id, input.placeholder, input.ariaLabel, input.label]
      .map(words)
      .join(' | ');
    if (mentions(described, OTHER_FIELDS)) {
      return false;
    }
    if (String(input.type || '').toLowerCase() === 'password' && !mentions(described, ['otp', 'one time', 'one-time', 'totp', '2fa', 'mfa', 'verification'])) {
      return false;
    }
    return mentions(described, CODE_FIELD_WORDS);
  }

  function takesOneCharacter(input) {
    return isUsable(input) && Number(input.maxLength) === 1;
  }

  // Rows of 4 to 8 one-character inputs side by side in one container: a code split into boxes.
  function splitCodeGroups(inputs) {
    const byContainer = new Map();
    for (const input of inputs) {
      if (!takesOneCharacter(input)) {
        continue;
      }
      const key = input.container;
      if (!byContainer.has(key)) {
        byContainer.set(key, []);
      }
      byContainer.get(key).push(input);
    }
    const groups = [];
    for (const members of byContainer.values()) {
      members.sort((a, b) => a.order - b.order);
      if (members.length >= 4 && members.length <= 8) {
        groups.push(members);
      }
    }
    return groups;
  }

  // Where codes go on this page: each split group as one target, then each single code field
  // that is not part of a group. Empty when nothing on the page waits for a code.
  function codeTargets(inputs) {
    const groups = splitCodeGroups(inputs);
    const grouped = new Set(groups.flat());
    const targets = groups.map((members) => ({ kind: 'split', inputs: members }));
    for (const input of inputs) {
      if (!grouped.has(input) && isCodeField(input)) {
        targets.push({ kind: 'single', inputs: [input] });
      }
    }
    return targets;
  }

  // How a code is typed into a target: one character per box, or the whole code at once.
  function fillPlan(target, code) {
    if (target.kind === 'split') {
      if (code.length > target.inputs.length) {
        return null;
      }
      return target.inputs.map((input, index) => ({ input, value: code[index] ?? '' }));
    }
    const maxLength = Number(target.inputs[0].maxLength);
    if (maxLength > 0 && code.length > maxLength) {
      return null;
    }
    return [{ input: target.inputs[0], value: code }];
  }

  const api = { isCodeField, splitCodeGroups, codeTargets, fillPlan };
  if (typeof module === 'object' && module.exports) {
    module.exports = api;
  } else {
    root.ZevirudiFieldDetection = api;
  }
})(typeof globalThis !== 'undefined' ? globalThis : this);
