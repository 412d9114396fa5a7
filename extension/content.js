// Runs in every http(s) frame. It stays idle until the page shows a field that waits for a
// one-time code; then it polls through the service worker, offers the code in a chip beside
// the field and types it in when the user clicks. It never submits a form.
(function () {
  'use strict';

  const detection = globalThis.ZevirudiFieldDetection;
  const codes = globalThis.ZevirudiCodeFinder;

  const FAST_INTERVAL_MS = 3000;
  const SLOW_INTERVAL_MS = 10000;
  const FAST_PHASE_MS = 60000;
  const LONGEST_WAIT_MS = 10 * 60000;
  const LOOK_BACK_MS = 2 * 60000;
  const RESCAN_DELAY_MS = 400;

  const state = {
    watching: false,
    appearedAt: 0,
    timer: 0,
    targets: [],
    offeredMessageIDs: new Set(),
    chip: null,
  };

  function isCrossOriginFrame() {
    if (window === window.top) {
      return false;
    }
    try {
      return window.top.location.origin !== window.location.origin;
    } catch {
      return true;
    }
  }

  // Inputs of the document and of every open shadow root below it.
  function allInputs(root, found = []) {
    found.push(...root.querySelectorAll('input'));
    for (const element of root.querySelectorAll('*')) {
      if (element.shadowRoot) {
        allInputs(element.shadowRoot, found);
      }
    }
    return found;
  }

  function textOfIDs(element, attribute) {
    const ids = (element.getAttribute(attribute) || '').split(/\s+/).filter(Boolean);
    const root = element.getRootNode();
    return ids.map((id) => (root.getElementById ? root.getElementById(id) : document.getElementById(id)))
      .filter(Boolean)
      .map((node) => node.textContent)
      .join(' ');
  }

  function isVisible(element) {
    const style = getComputedStyle(element);
    return element.getClientRects().length > 0 && style.visibility !== 'hidden' && style.display !== 'none';
  }

  // Split boxes are often wrapped one by one: their container is the nearest ancestor that
  // holds several one-character inputs.
  function containerOf(element) {
    let node = element.parentElement;
    for (let depth = 0; node && depth < 4; depth += 1, node = node.parentElement) {
      if (node.querySelectorAll('input[maxlength="1"]').length >= 4) {
        return node;
      }
    }
    return element.parentElement;
  }

  function describe(element, order) {
    return {
      element,
      tag: element.tagName,
      type: element.getAttribute('type') || 'text',
      autocomplete: element.getAttribute('autocomplete') || '',
      name: element.name,
      id: element.id,
      placeholder: element.placeholder,
      ariaLabel: element.getAttribute('aria-label') || textOfIDs(element, 'aria-labelledby'),
      label: element.labels && element.labels.length > 0 ? element.labels[0].textContent : '',
      maxLength: element.maxLength,
      visible: isVisible(element),
      disabled: element.disabled,
      readOnly: element.readOnly,
      container: element.maxLength === 1 ? containerOf(element) : element.parentElement,
      order,
    };
  }

  function isFilled(target) {
    return target.inputs.every((input) => input.element.value.trim() !== '');
  }

  function scan() {
    state.targets = detection.codeTargets(allInputs(document).map(describe));
    const waiting = state.targets.filter((target) => !isFilled(target));
    if (waiting.length > 0 && !state.watching) {
      startWatching();
    } else if (waiting.length === 0 && state.watching) {
      stopWatching();
    }
  }

  function startWatching() {
    state.watching = true;
    state.appearedAt = Date.now();
    schedulePoll(0);
  }

  function stopWatching() {
    state.watching = false;
    clearTimeout(state.timer);
    removeChip();
  }

  function schedulePoll(delay) {
    clearTimeout(state.timer);
    state.timer = setTimeout(pollOnce, delay);
  }

  function ask(message) {
    return chrome.runtime.sendMessage(message).then((answer) => {
      if (!answer || answer.error) {
        throw new Error(answer ? answer.error : 'No answer from the extension.');
      }
      return answer.result;
    });
  }

  async function pollOnce() {
    const waited = Date.now() - state.appearedAt;
    if (!state.watching || waited > LONGEST_WAIT_MS) {
      stopWatching();
      return;
    }
    try {
      const result = await ask({ kind: 'poll', sinceEpochMilliseconds: state.appearedAt - LOOK_BACK_MS });
      if (result.code && !state.offeredMessageIDs.has(result.code.messageID)) {
        state.offeredMessageIDs.add(result.code.messageID);
        offerCode(result.code);
      } else if (result.link && !state.offeredMessageIDs.has(result.link.messageID)) {
        state.offeredMessageIDs.add(result.link.messageID);
        await ask({ kind: 'presentLink', link: result.link });
      }
    } catch (error) {
      // The popup explains a missing or failing desktop app; the page keeps waiting quietly.
      console.debug('Zevirudi: poll failed:', error.message);
    }
    if (state.watching) {
      schedulePoll(waited < FAST_PHASE_MS ? FAST_INTERVAL_MS : SLOW_INTERVAL_MS);
    }
  }

  // Sets a value the way typing does, so that frameworks that track the native value
  // (React, Vue, Angular) see the change.
  function typeInto(element, value) {
    const setter = Object.getOwnPropertyDescriptor(HTMLInputElement.prototype, 'value').set;
    element.focus();
    setter.call(element, value);
    element.dispatchEvent(new InputEvent('input', { bubbles: true, composed: true, data: value, inputType: 'insertText' }));
    element.dispatchEvent(new Event('change', { bubbles: true }));
  }

  function fill(found) {
    for (const target of state.targets) {
      const plan = detection.fillPlan(target, found.code);
      if (plan) {
        plan.forEach((step) => typeInto(step.input.element, step.value));
        return true;
      }
    }
    return false;
  }

  function removeChip() {
    if (state.chip) {
      state.chip.remove();
      state.chip = null;
    }
  }

  function presentInPanel(found) {
    ask({ kind: 'presentCode', code: found }).catch((error) => console.debug('Zevirudi:', error.message));
  }

  function offerCode(found) {
    const canFill = state.targets.some((target) => detection.fillPlan(target, found.code) !== null);
    if (isCrossOriginFrame() || !canFill) {
      presentInPanel(found);
      return;
    }
    removeChip();
    const boxes = state.targets[0].inputs.map((input) => input.element.getBoundingClientRect());
    const host = document.createElement('div');
    host.setAttribute('data-zevirudi-chip', '');
    const shadow = host.attachShadow({ mode: 'closed' });
    const shown = codes.displayCode(found.code);
    shadow.innerHTML = `
      <style>
        :host { all: initial; position: absolute; z-index: 2147483647; }
        button { font: 13px/1.2 system-ui, sans-serif; display: inline-flex; gap: 6px; align-items: center;
                 padding: 6px 10px; border-radius: 14px; border: 1px solid #3a6df0; cursor: pointer;
                 background: #eef3ff; color: #1b3a8a; box-shadow: 0 1px 4px rgba(0,0,0,.18); }
        button:focus-visible { outline: 2px solid #1b3a8a; outline-offset: 2px; }
        .from { color: #4a5a7a; }
        .show, .close { border: none; background: transparent; box-shadow: none; padding: 4px 6px; color: #4a5a7a; }
      </style>
      <button class="fill" type="button"></button><button class="show" type="button" aria-label="Show the code on screen with Zevirudi">Show</button><button class="close" type="button" aria-label="Dismiss Zevirudi suggestion">×</button>
      <span role="status" aria-live="polite" style="position:absolute;left:-9999px"></span>`;
    const button = shadow.querySelector('.fill');
    button.textContent = `Fill code ${shown}`;
    const from = document.createElement('span');
    from.className = 'from';
    from.textContent = `· ${found.sender}`;
    button.append(from);
    button.setAttribute('aria-label', `Fill code ${shown} from ${found.sender}`);
    shadow.querySelector('[role=status]').textContent = `Zevirudi found a code from ${found.sender}.`;
    button.addEventListener('click', () => {
      if (!fill(found)) {
        presentInPanel(found);
      }
      removeChip();
    });
    shadow.querySelector('.show').addEventListener('click', () => {
      presentInPanel(found);
      removeChip();
    });
    shadow.querySelector('.close').addEventListener('click', removeChip);
    document.documentElement.append(host);
    // Beside the whole field when the window has room, else below it: no box of a split code
    // and nothing after the field is covered.
    const left = Math.min(...boxes.map((box) => box.left));
    const right = Math.max(...boxes.map((box) => box.right));
    const top = Math.min(...boxes.map((box) => box.top));
    const bottom = Math.max(...boxes.map((box) => box.bottom));
    const chip = host.getBoundingClientRect();
    const beside = right + 8 + chip.width <= document.documentElement.clientWidth;
    const chipLeft = beside ? right + 8 : left;
    const chipTop = beside ? top + (bottom - top - chip.height) / 2 : bottom + 6;
    host.style.left = `${Math.max(0, chipLeft + window.scrollX)}px`;
    host.style.top = `${Math.max(0, chipTop + window.scrollY)}px`;
    state.chip = host;
  }

  let rescanTimer = 0;
  const observer = new MutationObserver(() => {
    clearTimeout(rescanTimer);
    rescanTimer = setTimeout(scan, RESCAN_DELAY_MS);
  });
  observer.observe(document.documentElement, { childList: true, subtree: true, attributes: true, attributeFilter: ['type', 'autocomplete', 'maxlength', 'style', 'class', 'hidden', 'disabled'] });
  document.addEventListener('input', () => {
    if (state.watching && state.targets.length > 0 && state.targets.every(isFilled)) {
      stopWatching();
    }
  }, true);
  scan();
})();
