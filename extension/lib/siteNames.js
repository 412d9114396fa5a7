// Host names and brands of the page that waits for a code. Shared by the content script, the
// service worker and the tests (loaded as a classic script or required by Node).
(function (root) {
  'use strict';

  // Second-level labels under which registries hand out names (example.co.uk, example.com.au).
  // Without the full public-suffix list this keeps the common cases right; an unknown
  // multi-label suffix only makes the registrable domain one label shorter, which narrows
  // nothing below the page's own host.
  const SECOND_LEVEL_LABELS = new Set([
    'co', 'com', 'net', 'org', 'gov', 'edu', 'ac', 'or', 'ne', 'go', 'gob', 'mil', 'nic',
  ]);

  function normalizedHost(host) {
    return String(host || '').trim().toLowerCase().replace(/\.$/, '');
  }

  function isIPAddress(host) {
    return /^\d{1,3}(\.\d{1,3}){3}$/.test(host) || host.includes(':') || host.startsWith('[');
  }

  function registrableDomain(host) {
    const name = normalizedHost(host);
    if (name === '' || isIPAddress(name) || !name.includes('.')) {
      return name;
    }
    const labels = name.split('.');
    const topLevel = labels[labels.length - 1];
    const second = labels[labels.length - 2];
    const keep =
      labels.length >= 3 && topLevel.length === 2 && SECOND_LEVEL_LABELS.has(second) ? 3 : 2;
    return labels.slice(-keep).join('.');
  }

  // The name people recognise a site by: "example" for login.example.co.uk.
  function brandOf(host) {
    const domain = registrableDomain(host);
    if (isIPAddress(domain) || !domain.includes('.')) {
      return '';
    }
    return domain.split('.')[0];
  }

  // True when linkHost is the page's host or lies under the page's registrable domain.
  function isSameSite(linkHost, pageHost) {
    const link = normalizedHost(linkHost);
    const page = normalizedHost(pageHost);
    if (link === '' || page === '') {
      return false;
    }
    if (link === page) {
      return true;
    }
    if (isIPAddress(page)) {
      return false;
    }
    const domain = registrableDomain(page);
    return link === domain || link.endsWith('.' + domain);
  }

  const api = { normalizedHost, registrableDomain, brandOf, isSameSite };
  if (typeof module === 'object' && module.exports) {
    module.exports = api;
  } else {
    root.ZevirudiSiteNames = api;
  }
})(typeof globalThis !== 'undefined' ? globalThis : this);
