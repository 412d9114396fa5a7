// The service worker: the only part of the extension that talks to the desktop app's native
// host. Content scripts ask it to poll and to show notifications; it keeps, per tab, the ids
// of the messages it has already handed out.
'use strict';
importScripts('lib/siteNames.js', 'lib/mailText.js', 'lib/codeFinder.js', 'lib/linkFinder.js');

const HOST_NAME = 'com.loftwing.multi';
const SEEN_LIMIT = 500;

function sendNative(message) {
  return new Promise((resolve, reject) => {
    chrome.runtime.sendNativeMessage(HOST_NAME, message, (response) => {
      const failure = chrome.runtime.lastError;
      if (failure) {
        reject(new Error(failure.message));
      } else if (!response || typeof response.ok !== 'boolean') {
        reject(new Error('The desktop app answered in a form this extension does not know.'));
      } else {
        resolve(response);
      }
    });
  });
}

function seenKey(tabId) {
  return `seen:${tabId}`;
}

async function seenIDs(tabId) {
  const key = seenKey(tabId);
  const stored = await chrome.storage.session.get(key);
  return Array.isArray(stored[key]) ? stored[key] : [];
}

async function rememberSeen(tabId, earlier, messages) {
  const ids = [...earlier, ...messages.map((message) => message.id)].slice(-SEEN_LIMIT);
  await chrome.storage.session.set({ [seenKey(tabId)]: ids });
}

// The page the request comes from, as Chrome reports it: a content script cannot speak for
// another origin.
function pageOf(sender) {
  const origin = sender.origin || new URL(sender.url).origin;
  return { origin, host: new URL(origin).hostname };
}

function providerLabel(provider) {
  return provider === 'microsoft' ? 'Outlook' : 'Gmail';
}

async function poll(request, sender) {
  const tabId = sender.tab.id;
  const page = pageOf(sender);
  const earlier = await seenIDs(tabId);
  const response = await sendNative({
    type: 'poll',
    origin: page.origin,
    sinceEpochMilliseconds: Math.trunc(request.sinceEpochMilliseconds),
    seenMessageIDs: earlier,
  });
  const messages = Array.isArray(response.messages) ? response.messages : [];
  await rememberSeen(tabId, earlier, messages);
  return {
    ok: response.ok,
    error: response.error,
    code: ZevirudiCodeFinder.chooseCode(messages, page.host),
    link: ZevirudiLinkFinder.chooseLink(messages, page.host),
  };
}

async function presentCode(request, sender) {
  const page = pageOf(sender);
  const found = request.code;
  return sendNative({
    type: 'presentCodeNotification',
    codeNotification: {
      code: found.code,
      destinationHost: page.host,
      source: found.sender || 'Email',
      accountEmail: found.accountEmail,
      providerLabel: providerLabel(found.provider),
      wasCopied: false,
    },
  });
}

async function presentLink(request, sender) {
  const page = pageOf(sender);
  const found = request.link;
  // Checked again here: only a link that leads to the page's own site is ever shown.
  const url = new URL(found.url);
  if (url.protocol !== 'https:' || !ZevirudiSiteNames.isSameSite(url.hostname, page.host)) {
    throw new Error('The link does not lead to this site.');
  }
  return sendNative({
    type: 'presentLinkNotification',
    linkNotification: {
      url: url.href,
      destinationHost: url.hostname.toLowerCase(),
      source: ZevirudiCodeFinder.senderName(found.sender) || 'Email',
      accountEmail: found.accountEmail,
      providerLabel: providerLabel(found.provider),
      linkPurpose: found.linkPurpose,
    },
  });
}

const HANDLERS = { poll, presentCode, presentLink };

chrome.runtime.onMessage.addListener((request, sender, sendResponse) => {
  const handler = request && HANDLERS[request.kind];
  if (!handler || !sender.tab) {
    return false;
  }
  handler(request, sender).then(
    (result) => sendResponse({ result }),
    (error) => sendResponse({ error: error.message }),
  );
  return true;
});

chrome.tabs.onRemoved.addListener((tabId) => {
  chrome.storage.session.remove(seenKey(tabId));
});
