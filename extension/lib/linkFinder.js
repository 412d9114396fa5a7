// Finds sign-in, password-reset and email-confirmation links for the page's site in recent
// mail. Links are only read, never fetched.
(function (root) {
  'use strict';

  const isNode = typeof module === 'object' && module.exports;
  const mailText = isNode ? require('./mailText.js') : root.ZevirudiMailText;
  const siteNames = isNode ? require('./siteNames.js') : root.ZevirudiSiteNames;

  // Checked in this order: a reset link often also says "sign in", a confirmation link "verify".
  const PURPOSES = [
    {
      purpose: 'password-reset',
      words: /reset|password|passwort|contraseña|mot de passe|senha|wachtwoord|hasło|пароль|パスワード|密码|密碼/i,
    },
    {
      purpose: 'email-confirmation',
      words:
        /confirm|verify (?:your )?e-?mail|verify-email|activate|bestätig|confirmar|confirmer|conferma|bevestig|potwierdź|подтверд|メール.*確認|确认|驗證|验证邮箱/i,
    },
    {
      purpose: 'sign-in',
      words:
        /sign[ -]?in|log[ -]?in|signin|magic|anmelden|einloggen|iniciar sesión|connexion|se connecter|accedi|entrar|inloggen|zaloguj|войти|ログイン|登录|登入|auth/i,
    },
  ];

  const NEVER_OFFERED = /unsubscribe|abmelden|désabonner|darse de baja|privacy|terms|help|support|preferences|settings/i;

  function linkPurpose(url, words) {
    const described = `${words} ${url.pathname} ${url.search}`;
    if (NEVER_OFFERED.test(`${words} ${url.pathname}`)) {
      return null;
    }
    const match = PURPOSES.find((entry) => entry.words.test(described));
    return match ? match.purpose : null;
  }

  // The first link of a message that leads to the page's site over https and says what it is
  // for; its host is what the link must lead to.
  function findLink(message, pageHost) {
    for (const link of mailText.linksOf(message)) {
      let url;
      try {
        url = new URL(link.url);
      } catch {
        continue;
      }
      if (url.protocol !== 'https:' || url.username !== '' || url.password !== '') {
        continue;
      }
      if (!siteNames.isSameSite(url.hostname, pageHost)) {
        continue;
      }
      const purpose = linkPurpose(url, link.words);
      if (purpose !== null) {
        return { url: url.href, destinationHost: url.hostname.toLowerCase(), linkPurpose: purpose };
      }
    }
    return null;
  }

  // The newest message's link for the page, with where it came from.
  function chooseLink(messages, pageHost) {
    for (const message of messages || []) {
      const link = findLink(message, pageHost);
      if (link !== null) {
        return { ...link, messageID: message.id, accountEmail: message.accountEmail, provider: message.provider, sender: message.sender };
      }
    }
    return null;
  }

  const api = { findLink, chooseLink };
  if (isNode) {
    module.exports = api;
  } else {
    root.ZevirudiLinkFinder = api;
  }
})(typeof globalThis !== 'undefined' ? globalThis : this);
