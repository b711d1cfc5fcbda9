// The page's own start-up before brumelo.js: the canvas, the full-screen button, and errors said
// on the page. A file of its own, not inline, for a strict Content-Security-Policy.
var Module = {canvas: document.getElementById('canvas')};
Module.canvas.addEventListener('contextmenu', function(e) { e.preventDefault(); });
(function() {
  var button = document.getElementById('fullscreen');
  var root = document.documentElement;
  if (!(root.requestFullscreen || root.webkitRequestFullscreen)) button.style.display = 'none';
  button.addEventListener('click', function() {
    if (document.fullscreenElement || document.webkitFullscreenElement)
      (document.exitFullscreen || document.webkitExitFullscreen).call(document);
    else
      (root.requestFullscreen || root.webkitRequestFullscreen).call(root);
  });
  window.addEventListener('error', function(e) {
    var line = document.getElementById('status');
    line.textContent = 'Brumelo stopped: ' + e.message;
    line.classList.add('shown');
  });
})();
