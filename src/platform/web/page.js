// The page's own start-up before brumelo.js: the canvas, the full-screen button, failures said
// on the page, the offline copy. A file of its own, not inline, for a strict Content-Security-Policy.
var Module = {canvas: document.getElementById('canvas')};
// The program's files of this page's own build (see sw.js).
Module.locateFile = function(path) {
  return path + '?v=' + document.documentElement.getAttribute('data-version');
};
Module.canvas.addEventListener('contextmenu', function(e) { e.preventDefault(); });
(function() {
  var button = document.getElementById('fullscreen');
  var root = document.documentElement;
  if (!(root.requestFullscreen || root.webkitRequestFullscreen)) button.style.display = 'none';
  button.addEventListener('click', function() {
    if (document.fullscreenElement || document.webkitFullscreenElement)
      (document.exitFullscreen || document.webkitExitFullscreen).call(document);
    else
      Promise.resolve((root.requestFullscreen || root.webkitRequestFullscreen).call(root))
          .then(function() {
            // Phones turn with the hand only outside full screen.
            if (screen.orientation && screen.orientation.lock)
              return screen.orientation.lock('portrait');
          }).catch(function() {});
  });
  // Until the first frame, a failure is said in place of the progress bar, and stays.
  var fail = window.brumeloFail = function(text) {
    document.getElementById('what').textContent = text;
    document.body.classList.add('failed');
  };
  window.addEventListener('error', function(e) {
    var target = e.target;
    if (target && target !== window) {
      // An element's file that did not load (these reach only listeners that capture): only
      // a script stops the toy.
      if (target.tagName == 'SCRIPT')
        fail('Brumelo could not load ' + target.src.split('/').pop() + '. Reload to try again.');
      else
        console.warn('not loaded: ' + (target.href || target.src));
    } else if (!document.body.classList.contains('running')) {
      // The download of the pictures and sounds throws "<status> : <address>".
      var file = /([\w-]+\.(?:data|wasm|js))\b/.exec(e.message || '');
      var why = String(e.message).replace(/^Uncaught (Error: )?/, '').split(' : ')[0];
      fail(file ? 'Brumelo could not load ' + file[1] + ' (' + why + '). Reload to try again.'
                : 'Brumelo could not start: ' + e.message);
    } else {
      var line = document.getElementById('status');
      line.textContent = 'Brumelo stopped: ' + e.message;
      line.classList.add('shown');
    }
  }, true);
  // Once the first frame is shown (pre.js): what makes the page an app, whose icons the browser
  // would otherwise fetch alongside the program's own files.
  var started = [];
  window.brumeloStarted = function() {
    window.brumeloStarted = null;
    [['manifest', 'brumelo.webmanifest'], ['icon', 'icon-192.png']].forEach(function(link) {
      var element = document.createElement('link');
      element.rel = link[0];
      element.href = link[1];
      if (link[0] == 'icon') element.setAttribute('sizes', '192x192');
      document.head.appendChild(element);
    });
    started.forEach(function(then) { then(); });
  };
  // The files kept for visits without a network, from then on too: the worker's install fetches
  // every file, which would slow the start-up's own downloads.
  window.brumeloWorker = new Promise(function(resolve) {
    if (!('serviceWorker' in navigator) || !window.isSecureContext) return resolve(null);
    started.push(function() {
      // The browser looks for a new worker later; asked now, a new build's files are kept
      // during this visit already.
      navigator.serviceWorker.register('sw.js').then(function(registration) {
        var done = function() { return registration; };
        return registration.update().then(done, done);
      }).then(resolve, function() { resolve(null); });
    });
  });
})();
