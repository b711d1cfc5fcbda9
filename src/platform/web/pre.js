// Runs before the program: options from the page's address, the data folder from IndexedDB, the
// pictures decoded by the browser as they load, and the reports a test run sends back.
//
// Address parameters: seed, frames, look, mic-gain, regrow (as the desktop's options; remembered
// for the next visit), script (a URL: the input script, played frame by frame, or
// in real time with live=1), stop-after (frames before a real-time run ends), files (URLs,
// comma-separated, put beside the script), device-model, storedbg (a URL written as the stored
// background before start-up), report (a URL the results are sent to), capture (frame numbers
// whose window picture is sent with the report), motion (x,y,z: a devicemotion event with that
// acceleration including gravity, in m/s^2, every 50 ms and every frame, as a test's stand-in
// for a sensor; a fourth number is the screen's turn in degrees, as screen.orientation says),
// lose-context (a frame number: the WebGL context is lost after it and given back), storage=none
// (the page sees no IndexedDB, as in some private modes), pane (WxH: the pane of a screen of that
// shape, 320x480 the phone's; by default the page's).

Module['noImageDecoding'] = true;
Module['noAudioDecoding'] = true;
Module['preloadPlugins'] = [{
  'canHandle': function(name) { return /\.(png|jpe?g)$/i.test(name); },
  'handle': function(bytes, name, onload, onerror) {
    Brumelo.decode(bytes).then(function() { onload(bytes); });
  }
}];

(function() {
  var params = new URLSearchParams(location.search);
  var args = [];
  var fetches = [];
  var testFolder = '/test';
  var nameOf = function(url) {
    return decodeURIComponent(url.split('?')[0].split('/').pop()) || 'file';
  };
  var fetchTo = function(url, path) {
    fetches.push({url: url, path: path});
  };
  if (params.has('seed')) args.push('--seed', params.get('seed'));
  if (params.has('frames')) args.push('--frames', params.get('frames'));
  if (params.has('device-model')) args.push('--device-model', params.get('device-model'));
  if (params.has('pane')) args.push('--pane', params.get('pane'));
  ['look', 'mic-gain', 'regrow'].forEach(function(name) {
    if (params.has(name)) args.push('--' + name + '=' + params.get(name));
  });
  if (params.has('script')) {
    var script = params.get('script');
    fetchTo(script, testFolder + '/' + nameOf(script));
    args.push('--script', testFolder + '/' + nameOf(script));
  }
  (params.get('files') || '').split(',').filter(Boolean).forEach(function(url) {
    fetchTo(url, testFolder + '/' + nameOf(url));
  });
  Module['arguments'] = args;

  var report = params.get('report');
  var captures = (params.get('capture') || '').split(',').filter(Boolean).map(Number);
  var log = [];
  var started = performance.now();
  var firstFrame = -1;
  var line = function(text) {
    log.push(text);
    console.log(text);
  };
  Module['print'] = line;
  Module['printErr'] = line;

  var send = function(path, body, type) {
    return fetch(report + path, {method: 'POST', body: body, headers: {'Content-Type': type}});
  };
  var loseAt = Number(params.get('lose-context') || 0);
  Module['onFrameShown'] = function(frame) {
    Module['framesShown'] = frame;
    moved();
    if (frame == loseAt) {
      var gl = Module['canvas'].getContext('webgl2');
      var lose = gl && gl.getExtension('WEBGL_lose_context');
      if (lose) {
        Module['canvas'].addEventListener('webglcontextlost', function() {
          setTimeout(function() { lose.restoreContext(); }, 200);
        }, {once: true});
        lose.loseContext();
      }
    }
    if (firstFrame < 0) {
      firstFrame = performance.now();
      document.body.classList.add('running');
      if (window.brumeloStarted) window.brumeloStarted();
    }
    if (report && captures.indexOf(frame) >= 0) {
      // The drawing buffer still holds this frame until the browser shows it.
      var picture = Module['canvas'].toDataURL('image/png');
      send('/file?name=window-' + frame + '.png', picture, 'text/plain');
    }
  };
  var workerReady = function() {
    var ready = (window.brumeloWorker || Promise.resolve(null)).then(function(registration) {
      var worker = registration &&
                   (registration.installing || registration.waiting || registration.active);
      if (!worker || worker.state == 'activated') return;
      return new Promise(function(resolve) {
        worker.addEventListener('statechange', function() {
          if (worker.state == 'activated' || worker.state == 'redundant') resolve();
        });
      });
    });
    return Promise.race([ready, new Promise(function(resolve) { setTimeout(resolve, 20000); })]);
  };
  Module['onRunFinished'] = function(frames, status) {
    if (!report) return;
    var uploads = [];
    var fetched = fetches.map(function(f) { return f.path; });
    try {
      FS.readdir(testFolder).forEach(function(name) {
        var path = testFolder + '/' + name;
        if (name == '.' || name == '..' || fetched.indexOf(path) >= 0) return;
        if (!FS.isFile(FS.stat(path).mode)) return;
        uploads.push(send('/file?name=' + encodeURIComponent(name), FS.readFile(path),
                          'application/octet-stream'));
      });
    } catch (e) {
      line('report: ' + e);
    }
    var result = {
      frames: frames,
      status: JSON.parse(status || '{}'),
      // Milliseconds from the start of the page's navigation.
      firstFrameMs: firstFrame,
      finishedMs: performance.now(),
      scriptStartMs: started,
      log: log
    };
    result.offline = !!(navigator.serviceWorker && navigator.serviceWorker.controller);
    result.version = document.documentElement.getAttribute('data-version');
    // The report waits for the data folder to reach IndexedDB and the page's files to be kept
    // for offline visits: a next visit may follow at once.
    Promise.all(uploads).then(Brumelo.whenStored).then(workerReady).then(function() {
      return send('/result', JSON.stringify(result), 'application/json');
    });
  };

  var motion = (params.get('motion') || '').split(',').map(Number);
  var moved = function() {};
  if (motion.length == 4 && isFinite(motion[3]) && screen.orientation) {
    var angle = motion.pop();
    Object.defineProperty(screen.orientation, 'angle', {get: function() { return angle; }});
  }
  if (motion.length == 3 && motion.every(isFinite) && typeof DeviceMotionEvent == 'function') {
    moved = function() {
      window.dispatchEvent(new DeviceMotionEvent('devicemotion', {
        accelerationIncludingGravity: {x: motion[0], y: motion[1], z: motion[2]},
        interval: 50
      }));
    };
    setInterval(moved, 50);
  }

  // Leaving the page: what is not yet in IndexedDB goes now, as far as the browser lets it.
  window.addEventListener('pagehide', function() {
    if (typeof Brumelo != 'undefined') Brumelo.whenStored();
  });

  // What the first frame needs nothing of comes once the program runs: the glass look's whole
  // photo (its stand-in shows meanwhile), then the wipe sounds (the program starts its sound
  // once all are in; a missing one stays silent). A test's script, or a visit whose files the
  // offline copy holds, has the photo before the program starts: no stand-in.
  var later = function(name) {
    var address = Module['locateFile'] ? Module['locateFile'](name, '') : name;
    return fetch(address, {credentials: 'same-origin'}).then(function(response) {
      if (!response.ok) throw new Error(response.status + ' ' + response.statusText);
      return response.arrayBuffer();
    }).then(function(buffer) {
      var bytes = new Uint8Array(buffer);
      // The program reads a picture only once the browser has decoded it.
      var decoded = /\.jpg$/.test(name) ? Brumelo.decode(bytes) : Promise.resolve();
      return decoded.then(function() {
        FS.createPath('/', 'resources', true, true);
        FS.writeFile('/resources/' + name, bytes);
      });
    }).catch(function(e) {
      line(name + ': ' + e);
    });
  };
  var photo = 'window-view.jpg';
  var photoFirst = params.has('script') ||
                   !!(navigator.serviceWorker && navigator.serviceWorker.controller);
  Module['postRun'] = Module['postRun'] || [];
  Module['postRun'].push(function() {
    var arrived = photoFirst ? Promise.resolve() : later(photo).then(function() {
      Module['_brumelo_glass_picture_arrived']();
    });
    arrived.then(function() {
      var sounds = ['sound2.caf', 'sound3.caf', 'sound4.caf', 'sound5.caf'];
      return Promise.all(sounds.map(later));
    }).then(function() { Module['_brumelo_sounds_arrived'](); });
  });

  Module['preRun'] = Module['preRun'] || [];
  Module['preRun'].push(function() {
    FS.mkdir(testFolder);
    FS.chdir(testFolder);
    if (photoFirst) {
      addRunDependency('photo');
      later(photo).then(function() { removeRunDependency('photo'); });
    }
    fetches.forEach(function(f) {
      addRunDependency('fetch ' + f.path);
      fetch(f.url).then(function(response) {
        if (!response.ok) throw new Error(response.status + ' ' + response.statusText);
        return response.arrayBuffer();
      }).then(function(buffer) {
        FS.writeFile(f.path, new Uint8Array(buffer));
      }).catch(function(e) {
        line(f.url + ': ' + e);
      }).then(function() { removeRunDependency('fetch ' + f.path); });
    });

    // The data folder (the stored background, the first-visit mark) lives in IndexedDB between
    // visits; without IndexedDB every visit is a first one. A test asks for a browser without
    // it with storage=none.
    if (params.get('storage') == 'none') {
      try { Object.defineProperty(window, 'indexedDB', {value: undefined}); } catch (e) {}
    }
    FS.mkdir('/data');
    addRunDependency('data folder');
    var ready = function() {
      // The program reads pictures only once the browser has decoded them: the stored one and
      // the glass look's dense copy of it.
      var decoded = ['/data/CustomBG.png', '/data/CustomBG-dense.png'].map(function(path) {
        try {
          if (FS.analyzePath(path).exists) return Brumelo.decode(FS.readFile(path));
        } catch (e) {
        }
        return Promise.resolve();
      });
      Promise.all(decoded).then(function() {
        Brumelo.storedSignature = Brumelo.dataSignature();
        removeRunDependency('data folder');
      });
    };
    var storedBackground = params.get('storedbg');
    var populated = function() {
      if (!storedBackground) return ready();
      fetch(storedBackground).then(function(response) { return response.arrayBuffer(); })
          .then(function(buffer) { FS.writeFile('/data/CustomBG.png', new Uint8Array(buffer)); })
          .catch(function(e) { line('storedbg: ' + e); })
          .then(ready);
    };
    Brumelo.openStore().then(function(files) {
      Object.keys(files).forEach(function(name) {
        var path = '/data/' + name, file = files[name];
        FS.writeFile(path, file.contents);
        FS.chmod(path, file.mode);
        FS.utime(path, file.timestamp.getTime(), file.timestamp.getTime());
        Brumelo.store.stored[name] = file.timestamp.getTime() + ':' + file.contents.length;
      });
    }).catch(function(e) {
      Brumelo.storageWorks = false;
      Brumelo.say('The browser keeps nothing between visits here (' + Brumelo.notKept(e) +
                  '): each visit starts afresh.');
    }).then(populated);
  });
})();

// Loading: a bar for the bytes of the program (.wasm) and its pictures and sounds (.data), whose
// sizes the page was built with; a failed download or a browser without WebGL 2 is said where
// the bar was, and stays.
(function() {
  var box = document.getElementById('loading');
  var done = document.getElementById('done');
  var fail = window.brumeloFail || function(text) { console.error(text); };
  var sizes = ((box && box.getAttribute('data-bytes')) || '').split(' ').map(Number);
  var wasmBytes = sizes[0] > 0 ? sizes[0] : 1, dataBytes = sizes[1] > 0 ? sizes[1] : 1;
  var wasmShare = 0, dataShare = 0;
  var show = function() {
    if (!done) return;
    var share = (wasmShare * wasmBytes + dataShare * dataBytes) / (wasmBytes + dataBytes);
    done.style.width = Math.round(100 * Math.min(1, share)) + '%';
  };
  Module['setStatus'] = function(text) {
    var counts = /\((\d+)\/(\d+)\)/.exec(text || '');
    if (counts && +counts[2] > 0) {
      dataShare = +counts[1] / +counts[2];
      show();
    }
  };
  if (typeof WebGL2RenderingContext == 'undefined') {
    fail('Brumelo needs WebGL 2, which this browser does not offer.');
    Module['preRun'] = Module['preRun'] || [];
    Module['preRun'].push(function() { addRunDependency('WebGL 2'); });
    return;
  }

  // The program's bytes counted as they arrive, and compiled as they arrive where the browser
  // can.
  Module['instantiateWasm'] = function(imports, received) {
    var name = 'brumelo.wasm';
    // The address the page preloads: this build's.
    var address = Module['locateFile'] ? Module['locateFile'](name, '') : name;
    fetch(address, {credentials: 'same-origin'}).then(function(response) {
      if (!response.ok) throw new Error(response.status + ' ' + response.statusText);
      var counted = response;
      if (response.body && typeof ReadableStream == 'function') {
        var reader = response.body.getReader(), got = 0;
        counted = new Response(new ReadableStream({
          pull: function(controller) {
            return reader.read().then(function(part) {
              if (part.done) return controller.close();
              got += part.value.length;
              wasmShare = got / wasmBytes;
              show();
              controller.enqueue(part.value);
            });
          }
        }), {headers: {'Content-Type': 'application/wasm'}});
      }
      if (WebAssembly.instantiateStreaming) return WebAssembly.instantiateStreaming(counted, imports);
      return counted.arrayBuffer().then(function(bytes) {
        return WebAssembly.instantiate(bytes, imports);
      });
    }).then(function(result) {
      wasmShare = 1;
      show();
      received(result.instance, result.module);
    }, function(e) {
      fail('Brumelo could not load ' + name + ' (' + ((e && e.message) || e) +
           '). Reload to try again.');
    });
    return {};
  };
})();
