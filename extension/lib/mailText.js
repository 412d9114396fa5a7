// Plain text and links of a normalized mail message (the host sends `text` and `html`).
// Works without a DOM so that the service worker and Node's test runner can use it.
(function (root) {
  'use strict';

  const NAMED_ENTITIES = {
    amp: '&', lt: '<', gt: '>', quot: '"', apos: "'", nbsp: ' ', ndash: '-', mdash: '-',
    hellip: '...', laquo: '"', raquo: '"', rsquo: "'", lsquo: "'", ldquo: '"', rdquo: '"',
    zwnj: '', zwj: '', shy: '',
  };

  function decodeEntities(text) {
    return text.replace(/&(#x[0-9a-f]+|#[0-9]+|[a-z]+);/gi, (whole, body) => {
      if (body[0] === '#') {
        const isHex = body[1] === 'x' || body[1] === 'X';
        const value = parseInt(body.slice(isHex ? 2 : 1), isHex ? 16 : 10);
        return Number.isFinite(value) && value > 0 && value <= 0x10ffff
          ? String.fromCodePoint(value)
          : ' ';
      }
      const named = NAMED_ENTITIES[body.toLowerCase()];
      return named === undefined ? whole : named;
    });
  }

  // Tags that end a line of visible text.
  const BLOCK_TAGS =
    /<\/?(?:br|p|div|tr|li|ul|ol|h[1-6]|table|tbody|thead|section|article|header|footer|blockquote|center)\b[^>]*>/gi;

  function htmlToText(html) {
    return decodeEntities(
      String(html || '')
        .replace(/<!--[\s\S]*?-->/g, ' ')
        .replace(/<(script|style|head|title)\b[\s\S]*?<\/\1\s*>/gi, ' ')
        .replace(BLOCK_TAGS, '\n')
        .replace(/<\/?(?:td|th|span|a|b|strong|em|i|u|font|img)\b[^>]*>/gi, ' ')
        .replace(/<[^>]*>/g, ''),
    )
      .replace(/[ \t\u00a0]+/g, ' ')
      .replace(/ *\n[\s]*/g, '\n')
      .trim();
  }

  // The text a reader sees: the plain part when the message has one, else its HTML as text.
  function readableText(message) {
    const text = String((message && message.text) || '').trim();
    return text !== '' ? text : htmlToText(message && message.html);
  }

  // Every link of the message with the words around it: anchors of the HTML part, then bare
  // addresses of the plain part.
  function linksOf(message) {
    const links = [];
    const html = String((message && message.html) || '');
    const anchor =
      /<a\b[^>]*?\bhref\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>]+))[^>]*>([\s\S]*?)<\/a\s*>/gi;
    for (const match of html.matchAll(anchor)) {
      const href = decodeEntities(match[1] ?? match[2] ?? match[3] ?? '').trim();
      links.push({ url: href, words: htmlToText(match[4]) });
    }
    const text = String((message && message.text) || '');
    for (const line of text.split('\n')) {
      for (const match of line.matchAll(/https?:\/\/[^\s<>"'()[\]]+/gi)) {
        links.push({ url: match[0].replace(/[.,;:!?]+$/, ''), words: line.replace(match[0], ' ') });
      }
    }
    return links;
  }

  const api = { decodeEntities, htmlToText, readableText, linksOf };
  if (typeof module === 'object' && module.exports) {
    module.exports = api;
  } else {
    root.ZevirudiMailText = api;
  }
})(typeof globalThis !== 'undefined' ? globalThis : this);
