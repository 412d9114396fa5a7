'use strict';
const HOST_NAME = 'com.loftwing.multi';
const text = globalThis.ZevirudiPopupText;

function ask(message) {
  return new Promise((resolve, reject) => {
    chrome.runtime.sendNativeMessage(HOST_NAME, message, (response) => {
      if (chrome.runtime.lastError) {
        reject(new Error(chrome.runtime.lastError.message));
      } else if (!response || typeof response.ok !== 'boolean' || !Array.isArray(response.accounts)) {
        reject(new Error('The desktop app answered in a form this extension does not know.'));
      } else {
        resolve(response);
      }
    });
  });
}

function showSummary(line) {
  const summary = document.getElementById('summary');
  summary.textContent = line.text;
  summary.classList.toggle('problem', line.problem);
}

function showAccounts(lines) {
  const list = document.getElementById('accounts');
  list.replaceChildren(
    ...lines.map((line) => {
      const item = document.createElement('li');
      item.className = line.stateName;
      const email = document.createElement('span');
      email.className = 'email';
      email.textContent = line.email;
      const state = document.createElement('span');
      state.className = 'state';
      state.textContent = `${line.provider} · ${line.stateText}`;
      item.append(email, state);
      return item;
    }),
  );
}

function showWarnings(warnings) {
  document.getElementById('warnings').replaceChildren(
    ...warnings.map((warning) => {
      const item = document.createElement('li');
      item.textContent = warning;
      return item;
    }),
  );
}

async function load() {
  let status;
  try {
    status = await ask({ type: 'status' });
  } catch (error) {
    showSummary({ text: text.hostProblem(error.message), problem: true });
    return;
  }
  showSummary(text.summary(status));
  showAccounts(text.accountLines(status, null));
  if (!status.ok || status.accounts.length === 0) {
    return;
  }
  try {
    const health = await ask({ type: 'health' });
    showAccounts(text.accountLines(status, health));
    showWarnings(health.error ? [health.error, ...health.warnings] : health.warnings);
  } catch (error) {
    showWarnings([text.hostProblem(error.message)]);
  }
}

load();
