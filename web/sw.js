// The page's service worker: it keeps the page's files, so that after one
// visit the page loads and runs with no network. The build names the cache
// after a hash of the files, so the worker of a new build fills a cache of
// its own and drops those of older builds.
"use strict";

const CACHE = "@HILLCAR_CACHE@";
const FILES = @HILLCAR_FILES@;

self.addEventListener("install", function (e) {
  // Past the browser's HTTP cache, which may still hold an older build's files.
  e.waitUntil(caches.open(CACHE)
    .then(cache => cache.addAll(FILES.map(f => new Request(f, {cache: "reload"}))))
    .then(() => self.skipWaiting()));
});

self.addEventListener("activate", function (e) {
  e.waitUntil(caches.keys()
    .then(names => Promise.all(names.filter(n => n.startsWith("hillcar-") && n !== CACHE)
                                    .map(n => caches.delete(n))))
    .then(() => self.clients.claim()));
});

// The page's own files come from the cache, whatever their query (?seed=,
// ?play=); the folder itself is its index.html. Anything else (a linked
// drive) comes from the network.
self.addEventListener("fetch", function (e) {
  if (e.request.method !== "GET") return;
  const url = new URL(e.request.url);
  const request = url.pathname.endsWith("/") ? new URL("index.html", url) : e.request;
  e.respondWith(caches.open(CACHE)
    .then(cache => cache.match(request, {ignoreSearch: true}))
    .then(found => found || fetch(e.request)));
});
