// Vexmoor's web pages. Every text that comes from a game server (names, missions, events)
// goes into the page as text only: textContent, never markup.
'use strict';

const DAYS = ['Sun', 'Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat'];

function $(id) { return document.getElementById(id); }

function el(tag, text, cls) {
  const e = document.createElement(tag);
  if (text !== undefined && text !== null) e.textContent = String(text);
  if (cls) e.className = cls;
  return e;
}

function link(href, text) {
  const a = el('a', text);
  a.href = href;
  return a;
}

function fill(tbody, rows) {
  const frag = document.createDocumentFragment();
  for (const cells of rows) {
    const tr = document.createElement('tr');
    for (const c of cells) {
      const td = document.createElement('td');
      if (c instanceof Node) td.appendChild(c); else td.textContent = String(c);
      tr.appendChild(td);
    }
    frag.appendChild(tr);
  }
  tbody.replaceChildren(frag);
}

function clock(seconds) {
  if (seconds < 0 || seconds === undefined) return '-';
  const h = Math.floor(seconds / 3600), m = Math.floor(seconds / 60) % 60, s = seconds % 60;
  const two = (n) => String(n).padStart(2, '0');
  return (h > 0 ? h + ':' : '') + two(m) + ':' + two(s);
}

function duration(seconds) {
  if (seconds < 0) return '-';
  const d = Math.floor(seconds / 86400);
  return (d > 0 ? d + 'd ' : '') + clock(seconds % 86400);
}

async function getJson(url) {
  const r = await fetch(url, {headers: {Accept: 'application/json'}});
  if (!r.ok) throw new Error(url + ': ' + r.status);
  return r.json();
}

// The address of the server a page is about: the second path segment.
function pageServer() {
  return decodeURIComponent(location.pathname.split('/')[2] || '');
}
function serverPath(address) { return '/servers/' + encodeURIComponent(address); }
function apiPath(address) { return '/api/servers/' + encodeURIComponent(address); }

// A WebSocket that comes back after a drop; onMessage gets each parsed message.
function live(server, onMessage, onOpen) {
  const status = $('live');
  let delay = 1000;
  function open() {
    const proto = location.protocol === 'https:' ? 'wss:' : 'ws:';
    const q = server ? '?server=' + encodeURIComponent(server) : '';
    const ws = new WebSocket(proto + '//' + location.host + '/live' + q);
    ws.onopen = () => {
      delay = 1000;
      if (status) { status.textContent = 'Live'; status.className = 'live on'; }
      if (onOpen) onOpen();
    };
    ws.onmessage = (m) => { try { onMessage(JSON.parse(m.data)); } catch (e) { console.error(e); } };
    ws.onclose = () => {
      if (status) { status.textContent = 'Reconnecting\u2026'; status.className = 'live off'; }
      setTimeout(open, delay);
      delay = Math.min(delay * 2, 30000);
    };
  }
  open();
}

// Counts the time left down between updates.
const countdowns = [];
function countdown(node, seconds) {
  countdowns.push({node, end: seconds >= 0 ? Date.now() + seconds * 1000 : -1});
}
function tick() {
  for (const c of countdowns)
    c.node.textContent = c.end < 0 ? '-' : clock(Math.max(0, Math.round((c.end - Date.now()) / 1000)));
}
setInterval(tick, 1000);

function stateBadge(state) {
  const s = el('span', state, 'state ' + (state === 'Online' ? 'on' : 'off'));
  return s;
}

// --- /

function indexPage() {
  live('', (m) => {
    if (m.type !== 'servers') return;
    countdowns.length = 0;
    const rows = m.servers.map((s) => {
      const left = el('span');
      countdown(left, s.timeLeft);
      return [link(serverPath(s.address), s.name), s.address, stateBadge(s.state),
              s.mission, left, s.players + ' / ' + s.maxPlayers];
    });
    fill(document.querySelector('#servers tbody'), rows);
    $('empty').hidden = m.servers.length > 0;
    tick();
  });
}

// --- /servers/IP:PORT

function serverPage() {
  const address = pageServer();
  const teamNames = {};
  let lastSeq = 0;
  $('leaderboard-link').href = serverPath(address) + '/leaderboard';
  $('address').textContent = address;

  function showServer(s) {
    $('name').textContent = s.name;
    $('crumb').textContent = s.name;
    document.title = s.name + ' - Vexmoor';
    $('state').replaceWith(Object.assign(stateBadge(s.state), {id: 'state'}));
    $('mission').textContent = s.mission || '(none)';
    $('mission-type').textContent = s.missionType ? '(' + s.missionType + ')' : '';
    countdowns.length = 0;
    countdown($('countdown'), s.timeLeft);
    tick();
  }
  function showRoster(r) {
    for (const t of r.teams) teamNames[t.team] = t.name;
    fill(document.querySelector('#teams tbody'), r.teams.map((t) => [t.name, t.size, t.score]));
    const team = (n) => n === -2 ? 'Observer' : (teamNames[n] !== undefined ? teamNames[n] : '-');
    fill(document.querySelector('#players tbody'), r.players.map((p) => [
      p.id > 0 ? link(serverPath(address) + '/players/' + p.id, p.name) : p.name,
      team(p.team), p.score]));
    // The operators' script adds its buttons to the rows.
    document.querySelectorAll('#players tbody tr').forEach((tr, i) => { tr.dataset.client = r.players[i].client; });
    window.vexmoorRoster = r;
    document.dispatchEvent(new CustomEvent('vexmoor:roster', {detail: r}));
    $('player-count').textContent = '(' + r.players.length + ')';
  }
  function addEvent(e) {
    if (e.seq <= lastSeq) return;
    lastSeq = e.seq;
    const li = el('li', null, 'cat' + e.category);
    li.appendChild(el('time', e.time));
    li.appendChild(document.createTextNode(' ' + e.text));
    const list = $('events');
    list.insertBefore(li, list.firstChild);
    while (list.children.length > 100) list.removeChild(list.lastChild);
  }
  async function catchUp() {
    const r = await getJson(apiPath(address) + '/events?after=' + lastSeq);
    for (const e of r.events) addEvent(e);
  }
  async function loadStatic() {
    const s = await getJson(apiPath(address));
    const rot = $('rotation');
    rot.replaceChildren(...s.rotation.map((m) => {
      const li = el('li', m.name + (m.type ? ' (' + m.type + ')' : ''));
      if (m.current) li.className = 'current';
      if (!m.enabled) li.classList.add('disabled');
      return li;
    }));
    const a = await getJson(apiPath(address) + '/activity');
    showActivity(a);
  }
  live(address, (m) => {
    if (m.type === 'server') { showServer(m.server); showRoster(m.roster); }
    else if (m.type === 'event') addEvent(m.event);
  }, () => { catchUp().catch(console.error); });
  loadStatic().catch(console.error);
}

function figures(dl, pairs) {
  const frag = document.createDocumentFragment();
  for (const [k, v] of pairs) { frag.appendChild(el('dt', k)); frag.appendChild(el('dd', v)); }
  dl.replaceChildren(frag);
}

function showActivity(a) {
  const c = a.connections;
  figures($('activity'), [
    ['Connections', c.total], ['Completed sessions', c.completed],
    ['Average play time', duration(c.averagePlayTime)],
    ['Shortest', duration(c.shortestPlayTime)], ['Longest', duration(c.longestPlayTime)],
    ['Last connection', c.last || '-'], ['Players this hour', a.playersThisHour],
    ['Uptime', a.uptime >= 0 ? duration(a.uptime) : 'offline']]);
  $('heatmap').replaceChildren(heatmap(a.hours));
}

// Weekday x hour averages as an SVG grid, darker for more players.
function heatmap(hours) {
  const NS = 'http://www.w3.org/2000/svg';
  const cell = 20, left = 36, top = 16;
  const svg = document.createElementNS(NS, 'svg');
  svg.setAttribute('viewBox', '0 0 ' + (left + 24 * cell) + ' ' + (top + 7 * cell));
  svg.setAttribute('role', 'img');
  svg.setAttribute('aria-label', 'Average players by weekday and hour');
  let max = 0;
  for (const d of hours) for (const v of d) max = Math.max(max, v);
  const text = (x, y, t, anchor) => {
    const e = document.createElementNS(NS, 'text');
    e.setAttribute('x', x); e.setAttribute('y', y);
    if (anchor) e.setAttribute('text-anchor', anchor);
    e.textContent = t;
    svg.appendChild(e);
  };
  for (let h = 0; h < 24; h += 3) text(left + h * cell + cell / 2, 11, String(h), 'middle');
  hours.forEach((day, d) => {
    text(0, top + d * cell + 14, DAYS[d]);
    day.forEach((v, h) => {
      const r = document.createElementNS(NS, 'rect');
      r.setAttribute('x', left + h * cell); r.setAttribute('y', top + d * cell);
      r.setAttribute('width', cell - 2); r.setAttribute('height', cell - 2);
      const f = max > 0 ? v / max : 0;
      r.setAttribute('fill', 'rgb(' + Math.round(230 - 200 * f) + ',' + Math.round(240 - 150 * f) + ',' + Math.round(250 - 90 * f) + ')');
      const t = document.createElementNS(NS, 'title');
      t.textContent = DAYS[d] + ' ' + h + ':00 - ' + v.toFixed(2) + ' players';
      r.appendChild(t);
      svg.appendChild(r);
    });
  });
  return svg;
}

// --- /servers/IP:PORT/leaderboard

function leaderboardPage() {
  const address = pageServer();
  const params = new URLSearchParams(location.search);
  let sort = params.get('sort') || 'kills', offset = Number(params.get('offset') || 0);
  const limit = 25;
  $('q').value = params.get('q') || '';
  $('crumb').href = serverPath(address);
  getJson(apiPath(address)).then((s) => {
    $('crumb').textContent = s.name;
    $('heading').textContent = 'Leaderboard - ' + s.name;
    document.title = 'Leaderboard - ' + s.name + ' - Vexmoor';
  }).catch(console.error);

  async function load() {
    const q = $('q').value.trim();
    const url = apiPath(address) + '/leaderboard?sort=' + sort + '&offset=' + offset +
                '&limit=' + limit + (q ? '&q=' + encodeURIComponent(q) : '');
    const r = await getJson(url);
    const kd = (p) => (p.deaths > 0 ? p.kills / p.deaths : p.kills).toFixed(2);
    fill(document.querySelector('#board tbody'), r.rows.map((p, i) => [
      offset + i + 1, link(serverPath(address) + '/players/' + p.id, p.name), p.kills, p.deaths,
      kd(p), p.teamKills, p.score, p.wins, p.losses, p.time.toFixed(1), p.lastSeen || '-']));
    for (const b of document.querySelectorAll('[data-sort]'))
      b.classList.toggle('sorted', b.dataset.sort === sort);
    const pages = Math.max(1, Math.ceil(r.total / limit));
    $('page').textContent = 'Page ' + (Math.floor(offset / limit) + 1) + ' of ' + pages + ' (' + r.total + ' players)';
    $('prev').disabled = offset === 0;
    $('next').disabled = offset + limit >= r.total;
    const u = new URLSearchParams({sort, offset});
    if (q) u.set('q', q);
    history.replaceState(null, '', '?' + u.toString());
  }
  for (const b of document.querySelectorAll('[data-sort]'))
    b.addEventListener('click', () => { sort = b.dataset.sort; offset = 0; load().catch(console.error); });
  $('prev').addEventListener('click', () => { offset = Math.max(0, offset - limit); load().catch(console.error); });
  $('next').addEventListener('click', () => { offset += limit; load().catch(console.error); });
  $('search').addEventListener('submit', (e) => { e.preventDefault(); offset = 0; load().catch(console.error); });
  load().catch(console.error);
}

// --- /servers/IP:PORT/players/ID

async function playerPage() {
  const address = pageServer();
  const id = location.pathname.split('/')[4];
  $('crumb').href = serverPath(address);
  $('board-link').href = serverPath(address) + '/leaderboard';
  const [s, p] = await Promise.all([getJson(apiPath(address)), getJson(apiPath(address) + '/players/' + id)]);
  $('crumb').textContent = s.name;
  $('heading').textContent = p.name;
  document.title = p.name + ' - ' + s.name + ' - Vexmoor';
  $('online').replaceChildren(stateBadge(p.online ? 'Online' : 'Offline'));
  figures($('figures'), [
    ['Kills', p.kills], ['Deaths', p.deaths],
    ['Kills per death', (p.deaths > 0 ? p.kills / p.deaths : p.kills).toFixed(2)],
    ['Team kills', p.teamKills], ['Team deaths', p.teamDeaths], ['Score', p.score],
    ['Wins', p.wins], ['Losses', p.losses], ['Ties', p.ties],
    ['Play time', p.time.toFixed(1) + ' h'], ['Last seen', p.lastSeen || '-']]);
  fill(document.querySelector('#weapons tbody'), p.weapons.map((w) => [w.name, w.count]));
  const who = (o) => o.id > 0 ? link(serverPath(address) + '/players/' + o.id, o.name) : o.name;
  fill(document.querySelector('#victims tbody'), p.victims.map((o) => [who(o), o.count]));
  fill(document.querySelector('#killers tbody'), p.killers.map((o) => [who(o), o.count]));
  fill(document.querySelector('#missions tbody'), p.missions.map((m) => [
    m.mission, m.counts.map((c) => c.name + ' ' + c.count).join(', ')]));
}

const pages = {index: indexPage, server: serverPage, leaderboard: leaderboardPage, player: playerPage};
const start = pages[document.body.dataset.page];
if (start) Promise.resolve(start()).catch(console.error);
