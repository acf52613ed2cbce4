// The operators' part of the pages: who is logged in, the login form, the admin buttons of
// the server page and the audit page. Game texts go in as text only, never as markup.
'use strict';

(function () {
  const node = (tag, text, cls) => {
    const e = document.createElement(tag);
    if (text !== undefined && text !== null) e.textContent = String(text);
    if (cls) e.className = cls;
    return e;
  };
  const serverAddress = () => decodeURIComponent(location.pathname.split('/')[2] || '');
  const apiOf = (address) => '/api/servers/' + encodeURIComponent(address);
  let me = null;

  async function whoAmI() {
    const r = await fetch('/api/me', {credentials: 'same-origin'});
    me = r.ok ? await r.json() : null;
  }
  const covers = (address) => me && (me.servers.includes('*') || me.servers.includes(address));
  const mayAct = (address) => me && me.role === 'admin' && covers(address);

  async function post(url, body) {
    const headers = {'Content-Type': 'application/json'};
    if (me) headers['X-CSRF-Token'] = me.csrf;
    const r = await fetch(url, {method: 'POST', credentials: 'same-origin', headers, body: JSON.stringify(body)});
    let answer = {};
    try { answer = await r.json(); } catch (e) { /* no body */ }
    return {ok: r.ok, status: r.status, answer};
  }

  // "name (role)" and the logout button, or the login link, in every page's header.
  function operatorBar() {
    const header = document.querySelector('header');
    if (!header || document.body.dataset.page === 'login') return;
    const bar = node('span', null, 'operator');
    bar.id = 'operator';
    if (me) {
      bar.appendChild(node('span', me.name + ' (' + me.role + ')'));
      if (document.body.dataset.page === 'server' && covers(serverAddress())) {
        const a = node('a', 'Audit');
        a.id = 'audit-link';
        a.href = location.pathname.replace(/\/$/, '') + '/audit';
        bar.appendChild(a);
      }
      const out = node('button', 'Log out');
      out.id = 'logout';
      out.type = 'button';
      out.addEventListener('click', async () => {
        await post('/api/logout', {});
        location.reload();
      });
      bar.appendChild(out);
    } else {
      const a = node('a', 'Log in');
      a.id = 'login-link';
      a.href = '/login?next=' + encodeURIComponent(location.pathname);
      bar.appendChild(a);
    }
    header.appendChild(bar);
  }

  // --- the server page's actions

  async function act(body, status) {
    const r = await post(apiOf(serverAddress()) + '/actions', body);
    status.textContent = r.ok ? 'Sent: ' + body.action : 'Refused: ' + (r.answer.error || r.status);
    return r.ok;
  }

  function button(text, onClick) {
    const b = node('button', text);
    b.type = 'button';
    b.addEventListener('click', onClick);
    return b;
  }

  // The window's boxes: the same captions and prompts.
  function rowButtons(player, status) {
    const id = player.client;
    const label = '"' + player.name + '"';
    const message = (action, caption) => button(caption, () => {
      const text = prompt(caption + ' - Message to send', '');
      if (text !== null) act({action, client: id, message: text}, status);
    });
    return [
      message('message', 'Message'),
      message('centerPrint', 'Center Print'),
      message('topPrint', 'Top Print'),
      message('bottomPrint', 'Bottom Print'),
      button('Kick', () => {
        if (!confirm('Kick ' + label + '?')) return;
        const text = prompt('Kick Message - Message to send', '');
        if (text !== null) act({action: 'kick', client: id, message: text}, status);
      }),
      button('Ban', async () => {
        const time = prompt('Ban Duration - Please enter the ban duration in seconds.', '');
        if (time === null) return;
        if (!/^\d+$/.test(time.trim())) { status.textContent = 'The ban duration is a number of seconds.'; return; }
        const known = await fetch(apiOf(serverAddress()) + '/players-addresses', {credentials: 'same-origin'})
          .then((r) => r.ok ? r.json() : {addresses: {}}).catch(() => ({addresses: {}}));
        const mask = prompt('Ban ' + player.name + ' - Please enter the ban mask', known.addresses[id] || '');
        if (mask === null || !mask.trim()) return;
        if (!confirm('Ban ' + label + ' (' + mask + ') for ' + time.trim() + ' seconds?')) return;
        act({action: 'ban', client: id, time: Number(time.trim()), mask}, status);
      }),
      button('Change Team', () => {
        const teams = document.querySelectorAll('#teams tbody tr').length;
        const answer = prompt('Change Team - -2=observer, -1=automatic, 0..' + (teams - 1) + '=team#.', '');
        if (answer === null) return;
        const team = Number(answer.trim());
        if (!Number.isInteger(team) || team < -2 || team >= teams) return;
        act({action: 'changeTeam', client: id, team}, status);
      }),
    ];
  }

  function serverPanel(address, status) {
    const section = node('section');
    section.id = 'admin';
    section.appendChild(node('h2', 'Admin'));
    const all = node('div', null, 'actions');
    const toAll = (action, caption) => button(caption, () => {
      const text = prompt(caption + ' - Message to send', '');
      if (text !== null) act({action, message: text}, status);
    });
    all.append(toAll('message', 'Message All'), toAll('centerPrint', 'Center Print All'),
      toAll('topPrint', 'Top Print All'), toAll('bottomPrint', 'Bottom Print All'),
      button('Balance Teams', () => act({action: 'balanceTeams'}, status)),
      button('Next Mission', () => { if (confirm('Next Mission?')) act({action: 'nextMission'}, status); }));
    const missions = node('div', null, 'actions');
    const pick = node('select');
    pick.id = 'mission-pick';
    pick.setAttribute('aria-label', 'Mission');
    fetch(apiOf(address)).then((r) => r.json()).then((s) => {
      for (const m of s.rotation) {
        const o = node('option', m.name + (m.enabled ? '' : ' (off)'));
        o.value = m.name;
        pick.appendChild(o);
      }
    }).catch(console.error);
    missions.append(pick,
      button('Exec Mission', () => {
        if (pick.value && confirm('Exec Mission ' + pick.value + '?')) act({action: 'execMission', mission: pick.value}, status);
      }),
      button('Switch On', () => act({action: 'mission', mission: pick.value, enabled: true}, status)),
      button('Switch Off', () => act({action: 'mission', mission: pick.value, enabled: false}, status)));
    const vars = node('div', null, 'actions');
    const name = node('select');
    name.setAttribute('aria-label', 'Server variable');
    for (const v of ['HostName', 'MaxPlayers', 'TimeLimit', 'WarmupTime', 'ClientPassword', 'TeamDmgScale',
      'MinVotes', 'VotingTime', 'MinVotesPct', 'VoteWinMargin', 'AutoAssignTeams', 'TourneyMode',
      'BlockAdmin', 'BlockTeamDmg', 'BlockMission', 'BlockGameType', 'HostInfo', 'JoinMOTD']) {
      const o = node('option', v === 'ClientPassword' ? 'Server Password' : v);
      o.value = v;
      name.appendChild(o);
    }
    const value = node('input');
    value.setAttribute('aria-label', 'Value');
    value.maxLength = 500;
    vars.append(name, value, button('Set', () => {
      const n = name.value;
      const text = value.value;
      const bool = ['AutoAssignTeams', 'TourneyMode', 'BlockAdmin', 'BlockTeamDmg', 'BlockMission', 'BlockGameType'].includes(n);
      const text_ = ['HostName', 'ClientPassword', 'HostInfo', 'JoinMOTD'].includes(n);
      const v = bool ? /^(1|true|on|yes)$/i.test(text.trim()) : text_ ? text.replace(/\\n/g, '\n') : Number(text.trim());
      act({action: 'variable', name: n, value: v}, status);
    }));
    section.append(all, missions, vars, status);
    return section;
  }

  function serverPage() {
    const address = serverAddress();
    if (!mayAct(address)) return;
    const status = node('p', null, 'muted');
    status.id = 'action-status';
    status.setAttribute('role', 'status');
    const players = document.getElementById('players');
    players.querySelector('thead tr').appendChild(node('th', 'Actions'));
    players.closest('section').after(serverPanel(address, status));
    const decorate = (roster) => {
      const byClient = new Map(roster.players.map((p) => [String(p.client), p]));
      for (const tr of players.querySelectorAll('tbody tr')) {
        const p = byClient.get(tr.dataset.client);
        if (!p || tr.querySelector('.row-actions')) continue;
        const td = node('td', null, 'row-actions');
        const box = node('div');
        box.append(...rowButtons(p, status));
        td.appendChild(box);
        tr.appendChild(td);
      }
    };
    document.addEventListener('vexmoor:roster', (e) => decorate(e.detail));
    if (window.vexmoorRoster) decorate(window.vexmoorRoster);
  }

  // --- the login and audit pages

  function loginPage() {
    const form = document.getElementById('login');
    form.addEventListener('submit', async (e) => {
      e.preventDefault();
      const r = await post('/api/login', {name: form.elements.name.value, password: form.elements.password.value});
      if (r.ok) {
        const next = new URLSearchParams(location.search).get('next') || '/';
        // Only a path of this site: not "//host" nor "/\host", which browsers take as one.
        location.href = /^\/(?![\/\\])/.test(next) ? next : '/';
      } else {
        document.getElementById('login-error').textContent = r.answer.error || ('Refused (' + r.status + ')');
      }
    });
  }

  async function auditPage() {
    const address = serverAddress();
    const back = document.getElementById('server-link');
    back.href = '/servers/' + encodeURIComponent(address);
    back.textContent = address;
    const note = document.getElementById('audit-note');
    const r = await fetch(apiOf(address) + '/audit', {credentials: 'same-origin'});
    if (r.status === 401) { note.textContent = 'Log in to see the audit.'; return; }
    if (!r.ok) { note.textContent = 'The audit of this server is for its operators.'; return; }
    const entries = (await r.json()).entries.reverse();
    note.textContent = entries.length + ' entries, newest first.';
    const tbody = document.querySelector('#audit tbody');
    for (const e of entries) {
      const tr = node('tr');
      for (const c of [e.time, e.operator, e.remote, e.action, e.command, e.outcome]) tr.appendChild(node('td', c));
      tbody.appendChild(tr);
    }
  }

  async function start() {
    const page = document.body.dataset.page;
    if (page === 'login') { loginPage(); return; }
    await whoAmI();
    operatorBar();
    if (page === 'server') serverPage();
    if (page === 'audit') await auditPage();
  }
  start().catch(console.error);
})();
