// The end-to-end driver evaluates `send(message)` in this service worker through the DevTools
// protocol. The promise always resolves: with the host's response, or with
// { lastError: text } when Chrome could not reach the host, so that the driver sees both.
globalThis.send = (message) =>
  new Promise((resolve) => {
    chrome.runtime.sendNativeMessage("com.loftwing.multi", message, (response) => {
      if (chrome.runtime.lastError) {
        resolve({ lastError: chrome.runtime.lastError.message });
        return;
      }
      resolve({ response });
    });
  });

// Tells a driver that attached before this script ran that `send` exists now.
console.debug("zevirudi-e2e-ready");
