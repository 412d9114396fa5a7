// Finds the one-time code in recent mail. Pure functions over the host's `messages`; the
// content script, the service worker and Node's test runner load the same file.
(function (root) {
  'use strict';

  const isNode = typeof module === 'object' && module.exports;
  const mailText = isNode ? require('./mailText.js') : root.ZevirudiMailText;
  const siteNames = isNode ? require('./siteNames.js') : root.ZevirudiSiteNames;

  // Words that announce a code, lower-case, in English and the most used languages of the web.
  const CODE_WORDS = [
    'code', 'passcode', 'verification', 'verify', 'one-time', 'one time', 'otp', 'pin',
    'security code', 'two-factor', '2fa', 'authentication', 'sign-in', 'login', 'log in',
    'código', 'verificación', 'verificação', 'clave', 'contraseña de un solo uso', 'senha',
    'bestätigungscode', 'sicherheitscode', 'einmalcode', 'verifizierung', 'bestätigung',
    'vérification', 'usage unique', 'codice', 'verifica', 'verificatiecode', 'eenmalige',
    'kod', 'weryfikac', 'jednorazow', 'код', 'подтвержд', 'одноразов', 'doğrulama',
    'コード', '認証', '確認', 'ワンタイム', '验证码', '驗證碼', '校验码', '动态码', '인증', '코드',
  ];

  const MONTHS =
    '(?:jan|feb|mar|apr|may|jun|jul|aug|sep|sept|oct|nov|dec|januar|februar|märz|mai|juni|juli|' +
    'oktober|dezember|enero|febrero|marzo|abril|mayo|junio|julio|agosto|septiembre|octubre|' +
    'noviembre|diciembre|janvier|février|mars|avril|juin|juillet|août|septembre|octobre|' +
    'novembre|décembre|gennaio|febbraio|aprile|maggio|giugno|luglio|settembre|ottobre|' +
    'dicembre)[a-zé]*\\.?';

  // Number-shaped things that are never a code. Each is blanked out before codes are looked
  // for, so its digits cannot be read as one.
  const NEVER_CODES = [
    // links and addresses: digits inside them belong to them
    /\b(?:https?:\/\/|www\.)[^\s<>"']+/gi,
    /[\w.+-]+@[\w-]+(?:\.[\w-]+)+/g,
    // dates
    /\b\d{4}[-/.]\d{1,2}[-/.]\d{1,2}(?:T[\d:.]+Z?)?\b/g,
    /\b\d{1,2}[-/.]\d{1,2}[-/.]\d{2,4}\b/g,
    new RegExp(`\\b\\d{1,2}(?:st|nd|rd|th)?\\.?\\s+(?:de\\s+)?${MONTHS},?\\s+(?:de\\s+)?\\d{2,4}\\b`, 'gi'),
    new RegExp(`\\b${MONTHS}\\s+\\d{1,2}(?:st|nd|rd|th)?,?\\s+\\d{4}\\b`, 'gi'),
    /\d{4}年\d{1,2}月\d{1,2}日/g,
    // times
    /\b\d{1,2}[:h]\d{2}(?::\d{2})?(?:\s*[ap]\.?m\.?)?\b/gi,
    // prices and amounts
    /(?:[$€£¥₹₽]|\b(?:usd|eur|gbp|chf|jpy|cad|aud|rub|brl|pln|sek|try)\b)\s?\d[\d.,' ]*\d?/gi,
    /\b\d[\d.,' ]*\s?(?:[$€£¥₹₽]|(?:usd|eur|gbp|chf|jpy|cad|aud|rub|brl|pln|sek|try|zł|руб|kr)\b)/gi,
    // phone numbers
    /(?:\+|\b00)\d[\d\s().-]{6,}\d/g,
    /\(\d{2,4}\)\s?\d{3,4}[-.\s]\d{3,4}\b/g,
    /\b\d{3}[-.]\d{3}[-.]\d{4}\b/g,
    // order, tracking, invoice, ticket and similar numbers: the number after its label
    /(?:order|tracking|invoice|receipt|reference|ref\.?|shipment|parcel|package|booking|reservation|ticket|case|customer|member|account|transaction|confirmation number|bestell\w*|sendung\w*|rechnung\w*|kunden\w*|pedido|seguimiento|factura|commande|suivi|facture|ordine|spedizione|fattura|bestelling|zamówieni\w*|przesyłk\w*|заказ\w*|отслеживан\w*|注文番号|追跡番号|订单号?|运单号?|sipariş)\s*(?:number|no\.?|nr\.?|nummer|número|numéro|numero|id|#|:)?\s*[#:]?\s*(?=[A-Z-]*\d)[A-Z0-9][A-Z0-9-]{3,}/gi,
    /#\s?[A-Z0-9-]*\d[A-Z0-9-]*/gi,
    // postal codes: after their label, a US state, the UK form, a European postcode before a city
    /(?:zip(?:\s*code)?|postal\s*code|postcode|plz|código postal|code postal|cap|почтовый индекс|郵便番号|邮编)\s*[:#]?\s*[A-Z0-9][A-Z0-9 -]{2,9}/gi,
    /\b[A-Z]{2}\s+\d{5}(?:-\d{4})?\b/g,
    /\b[A-Z]{1,2}\d[A-Z\d]?\s\d[A-Z]{2}\b/g,
    /\b\d{4,5}[ \t]+[A-ZÄÖÜÉ][a-zäöüßéèàç]+(?:[ \t]+[A-Z][a-zäöüß]+)?[ \t]*(?:,|$)/gm,
    /^.*\b(?:street|st\.|avenue|ave\.?|road|rd\.|blvd|boulevard|suite|floor|straße|strasse|str\.|rue|avenida|calle|via|viale|piazza|plaza|lane|drive|way|ул\.|улица)(?:\s|,|$).*$/gim,
  ];

  const YEAR = /^(?:19|20)\d{2}$/;

  function blankNeverCodes(text) {
    let masked = text;
    for (const pattern of NEVER_CODES) {
      masked = masked.replace(pattern, (found) => found.replace(/[^\n]/g, ' '));
    }
    return masked;
  }

  function hasDigit(text) {
    return /\d/.test(text);
  }

  // Runs of code characters, with groups joined the way codes are written: "482 913",
  // "4829-1377", "K7Q-2XP".
  function codeRuns(masked) {
    const tokens = [...masked.matchAll(/[A-Za-z0-9]+/g)].map((m) => ({
      text: m[0],
      start: m.index,
      end: m.index + m[0].length,
    }));
    const runs = [];
    for (let i = 0; i < tokens.length; i += 1) {
      const group = [tokens[i]];
      while (i + group.length < tokens.length) {
        const last = group[group.length - 1];
        const next = tokens[i + group.length];
        const separator = masked.slice(last.end, next.start);
        const digitGroups = /^\d{2,5}$/.test(last.text) && /^\d{2,5}$/.test(next.text);
        const letterGroups = /^[A-Z0-9]{2,6}$/.test(last.text) && /^[A-Z0-9]{2,6}$/.test(next.text);
        if ((separator === ' ' && digitGroups) || (separator === '-' && (digitGroups || letterGroups))) {
          group.push(next);
        } else {
          break;
        }
      }
      const value = group.map((t) => t.text).join('');
      if (group.length > 1 && value.length <= 10 && hasDigit(value)) {
        runs.push({ value, start: group[0].start, end: group[group.length - 1].end });
        i += group.length - 1;
      } else {
        runs.push({ value: tokens[i].text, start: tokens[i].start, end: tokens[i].end });
      }
    }
    return runs;
  }

  // A run that belongs to a bigger number (3.14159, 1,250, 12/04) or carries a sign of one.
  function isPartOfNumber(masked, run) {
    const before = masked.slice(Math.max(0, run.start - 2), run.start);
    const after = masked.slice(run.end, run.end + 2);
    if (/\d[.,/:]$/.test(before) || /^[.,/:]\d/.test(after)) {
      return true;
    }
    return /[#+$€£¥%°]$/.test(before) || /^(?:%|°|\s?%)/.test(after);
  }

  function isCodeShaped(value) {
    return (
      value.length >= 4 &&
      value.length <= 10 &&
      hasDigit(value) &&
      /^[A-Z0-9]+$/.test(value) &&
      !YEAR.test(value) &&
      // round numbers count things ("1000 items")
      !/^[1-9]0+$/.test(value) &&
      // short mixes of letters and digits are names ("H264", "MP3S"); codes with letters are longer
      (/^\d+$/.test(value) || value.length >= 6)
    );
  }

  function codeWordPositions(lower) {
    const positions = [];
    for (const word of CODE_WORDS) {
      let at = lower.indexOf(word);
      while (at !== -1) {
        const beforeChar = at > 0 ? lower[at - 1] : ' ';
        // Latin words must start a word ("encode" is no code); scripts without spaces need not.
        if (!/[a-z]/.test(word[0]) || !/[a-z0-9]/.test(beforeChar)) {
          positions.push({ start: at, end: at + word.length });
        }
        at = lower.indexOf(word, at + 1);
      }
    }
    return positions;
  }

  function lineAround(text, index) {
    const start = text.lastIndexOf('\n', index - 1) + 1;
    const end = text.indexOf('\n', index);
    return text.slice(start, end === -1 ? text.length : end);
  }

  // The best code of one text with its score; subjectAnnounces adds the weight of a subject
  // that already says "code".
  function bestCodeIn(text, subjectAnnounces) {
    const masked = blankNeverCodes(text);
    const lower = masked.toLowerCase();
    const words = codeWordPositions(lower);
    let best = null;
    for (const run of codeRuns(masked)) {
      if (!isCodeShaped(run.value) || isPartOfNumber(masked, run)) {
        continue;
      }
      let score = subjectAnnounces ? 5 : 0;
      if (words.some((w) => w.end <= run.start && run.start - w.end <= 80)) {
        score += 10;
      } else if (words.some((w) => w.start >= run.end && w.start - run.end <= 40)) {
        score += 8;
      }
      if (lineAround(masked, run.start).trim() === masked.slice(run.start, run.end).trim()) {
        score += 4;
      }
      if (/^\d+$/.test(run.value)) {
        score += run.value.length === 6 ? 3 : 2;
      }
      if (score >= 10 && (best === null || score > best.score)) {
        best = { code: run.value, score };
      }
    }
    return best;
  }

  function findCode(message) {
    const subject = String((message && message.subject) || '');
    const subjectAnnounces = codeWordPositions(subject.toLowerCase()).length > 0;
    const inSubject = bestCodeIn(subject, false);
    const inBody = bestCodeIn(mailText.readableText(message), subjectAnnounces);
    if (inSubject && (!inBody || inSubject.score >= inBody.score)) {
      return inSubject;
    }
    return inBody;
  }

  // How strongly a message belongs to the page: it names the site or its brand, and its
  // sender passed mail authentication.
  function relevance(message, pageHost) {
    const brand = siteNames.brandOf(pageHost);
    const domain = siteNames.registrableDomain(pageHost);
    const haystack = [message.subject, message.sender, mailText.readableText(message)]
      .join('\n')
      .toLowerCase();
    let score = message.senderAuthenticated === true ? 1 : 0;
    const namesBrand =
      brand.length >= 3 && new RegExp(`(^|[^a-z0-9])${brand.replace(/[-.]/g, '\\$&')}([^a-z0-9]|$)`).test(haystack);
    if ((domain !== '' && haystack.includes(domain)) || namesBrand) {
      score += 2;
    }
    return score;
  }

  function senderName(sender) {
    const text = String(sender || '').trim();
    const named = /^"?([^"<]*?)"?\s*<[^>]*>$/.exec(text);
    const name = named && named[1].trim() !== '' ? named[1].trim() : text;
    return name.length > 40 ? `${name.slice(0, 39)}…` : name;
  }

  // "482913" is shown as "482 913" so that it can be read at a glance.
  function displayCode(code) {
    if (/^\d{6}$/.test(code) || /^\d{8}$/.test(code)) {
      const half = code.length / 2;
      return `${code.slice(0, half)} ${code.slice(half)}`;
    }
    return code;
  }

  // The code to offer for a page, from messages newest first: the most relevant message that
  // holds a code wins, the newer one on a tie. Nothing when no message holds one.
  function chooseCode(messages, pageHost) {
    let chosen = null;
    for (const message of messages || []) {
      const found = findCode(message);
      if (!found) {
        continue;
      }
      const rank = relevance(message, pageHost);
      if (chosen === null || rank > chosen.rank) {
        chosen = {
          rank,
          code: found.code,
          messageID: message.id,
          sender: senderName(message.sender),
          accountEmail: message.accountEmail,
          provider: message.provider,
        };
      }
    }
    if (chosen === null) {
      return null;
    }
    delete chosen.rank;
    return chosen;
  }

  const api = { findCode, chooseCode, displayCode, senderName, blankNeverCodes };
  if (isNode) {
    module.exports = api;
  } else {
    root.ZevirudiCodeFinder = api;
  }
})(typeof globalThis !== 'undefined' ? globalThis : this);
