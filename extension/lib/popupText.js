// What the popup says about the desktop app and the inboxes, from the host's answers.
(function (root) {
  'use strict';

  const PROVIDERS = { google: 'Gmail', microsoft: 'Outlook or Hotmail' };

  // Chrome's own texts when the host cannot be reached, and what the person can do about it.
  function hostProblem(errorText) {
    const text = String(errorText || '');
    if (text.includes('Specified native messaging host not found')) {
      return 'The desktop app is not connected to this browser yet. Open Zevirudi on this computer once; it sets up the connection.';
    }
    if (text.includes('Access to the specified native messaging host is forbidden')) {
      return 'The desktop app does not accept this copy of the extension. Install the extension that came with your Zevirudi desktop app.';
    }
    if (text.includes('Native host has exited') || text.includes('Error when communicating')) {
      return 'The desktop app stopped while answering. Make sure Zevirudi is installed correctly and up to date.';
    }
    if (text.includes('does not know')) {
      return 'The desktop app is a different version. Update Zevirudi and this extension to the same release.';
    }
    return `The desktop app could not be reached: ${text}`;
  }

  // One line per connected inbox with its state from the last check.
  function accountLines(status, health) {
    const checks = new Map(((health && health.accountChecks) || []).map((check) => [check.accountID, check]));
    return ((status && status.accounts) || []).map((account) => {
      const check = checks.get(account.id);
      let stateText = 'Not checked yet';
      let stateName = 'unknown';
      if (check) {
        stateName = check.status;
        stateText = check.status === 'ready' ? 'Mail access works' : check.message || 'Could not be checked';
      }
      return {
        email: account.email,
        provider: PROVIDERS[account.provider] || account.provider,
        stateName,
        stateText,
      };
    });
  }

  function summary(status) {
    if (!status.ok) {
      return { text: status.error || 'Connected accounts could not be read.', problem: true };
    }
    const count = status.accounts.length;
    if (count === 0) {
      return { text: 'No inbox is connected. Open the Zevirudi desktop app to connect Gmail or Outlook.', problem: true };
    }
    return { text: count === 1 ? '1 inbox connected' : `${count} inboxes connected`, problem: false };
  }

  const api = { hostProblem, accountLines, summary };
  if (typeof module === 'object' && module.exports) {
    module.exports = api;
  } else {
    root.ZevirudiPopupText = api;
  }
})(typeof globalThis !== 'undefined' ? globalThis : this);
