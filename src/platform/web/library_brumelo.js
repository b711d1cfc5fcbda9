// The browser services the platform units call that html5.h does not offer: pictures decoded
// and encoded by the browser, Canvas 2D drawing and text, the microphone through Web Audio, the
// file picker, downloads and sharing, the data folder kept in IndexedDB, and the page's status
// line. Each C entry point is named brumelo_*.

var LibraryBrumelo = {
  $Brumelo__deps: ['$FS', '$AL', 'brumelo_persist'],
  $Brumelo: {
    // Pictures the browser has decoded, waiting for decodeImage: {bytes, width, height, rgba,
    // alpha, error, count}.
    decoded: [],
    pendingDecodes: 0,
    maxPixels: 100000000,
    // A picked photo is decoded no larger than it needs to be: its shorter side keeps what the
    // program asks for (the densest cover of the pane), its longer side at least this, within
    // what phones' canvases hold.
    maxPickedSide: 2048,
    maxPickedPixels: 16000000,
    canvases: {},
    nextCanvas: 1,
    statusTimer: 0,

    say: function(text) {
      err(text);
      var line = document.getElementById('status');
      if (!line) return;
      line.textContent = text;
      line.classList.add('shown');
      clearTimeout(Brumelo.statusTimer);
      Brumelo.statusTimer = setTimeout(function() { line.classList.remove('shown'); }, 8000);
    },

    kind: function(b) {
      if (b.length >= 8 && b[0] == 0x89 && b[1] == 0x50 && b[2] == 0x4e && b[3] == 0x47) return 'png';
      if (b.length >= 3 && b[0] == 0xff && b[1] == 0xd8 && b[2] == 0xff) return 'jpeg';
      return null;
    },

    // Whether a PNG stores alpha: a colour type with alpha, or a transparency chunk.
    pngHasAlpha: function(b) {
      var type = b[25];
      if (type == 4 || type == 6) return true;
      for (var p = 8; p + 8 <= b.length;) {
        var length = ((b[p] << 24) | (b[p + 1] << 16) | (b[p + 2] << 8) | b[p + 3]) >>> 0;
        var name = String.fromCharCode(b[p + 4], b[p + 5], b[p + 6], b[p + 7]);
        if (name == 'tRNS') return true;
        if (name == 'IDAT' || name == 'IEND') return false;
        p += 12 + length;
      }
      return false;
    },

    // Canvases whose pixels the program reads: kept in memory, as reading back from a GPU's
    // canvas costs a stall each time (most of the start-up, in software GL).
    readBack: {willReadFrequently: true},
    canvas2d: function(width, height) {
      var canvas = typeof OffscreenCanvas != 'undefined' ? new OffscreenCanvas(width, height)
                                                          : document.createElement('canvas');
      canvas.width = width;
      canvas.height = height;
      return canvas;
    },

    // The size a picture of w x h pixels is decoded to for a shorter side of keepShorter (0:
    // whole).
    pickedSize: function(w, h, keepShorter) {
      if (!keepShorter) return [w, h];
      var scale = Math.min(1, Math.max(Brumelo.maxPickedSide / Math.max(w, h),
                                       keepShorter / Math.min(w, h)));
      if (w * h * scale * scale > Brumelo.maxPickedPixels)
        scale = Math.sqrt(Brumelo.maxPickedPixels / (w * h));
      return [Math.max(1, Math.round(w * scale)), Math.max(1, Math.round(h * scale))];
    },

    // Decodes a PNG or JPEG through the browser, upright by its EXIF orientation, and keeps the
    // result (or why there is none) for decodeImage. Resolves when done; never rejects. With
    // keepShorter a larger picture comes out reduced to the size the program needs.
    decode: function(bytes, keepShorter) {
      var kind = Brumelo.kind(bytes);
      if (!kind) return Promise.resolve();
      var copy = new Uint8Array(bytes);
      for (var i = 0; i < Brumelo.decoded.length; ++i) {
        var known = Brumelo.decoded[i];
        if (Brumelo.sameBytes(known.bytes, copy)) {
          known.count++;
          return known.done;
        }
      }
      var entry = {bytes: copy, count: 1, width: 0, height: 0, rgba: null, error: '',
                   alpha: kind == 'png' && Brumelo.pngHasAlpha(copy)};
      Brumelo.decoded.push(entry);
      Brumelo.pendingDecodes++;
      var blob = new Blob([copy], {type: 'image/' + kind});
      var viaElement = function() {
        return new Promise(function(resolve, reject) {
          var url = URL.createObjectURL(blob);
          var img = new Image();
          img.onload = function() { URL.revokeObjectURL(url); resolve(img); };
          img.onerror = function() { URL.revokeObjectURL(url); reject(new Error('undecodable')); };
          img.src = url;
        });
      };
      var tooLarge = function(w, h) {
        if (w * h <= Brumelo.maxPixels) return false;
        entry.error = 'picture too large: ' + w + ' x ' + h + ' pixels (at most ' +
                      (Brumelo.maxPixels / 1000000) + ' megapixels)';
        return true;
      };
      // Browsers that know no decoding options refuse them; an image element honours EXIF too.
      var open = function() {
        if (typeof createImageBitmap != 'function') return viaElement();
        return createImageBitmap(blob, {imageOrientation: 'from-image', premultiplyAlpha: 'none',
                                        colorSpaceConversion: 'none'}).catch(function(e) {
          if (e && e.name == 'TypeError') return viaElement();
          throw e;
        });
      };
      var target = null;  // the size to decode to, where known beforehand
      // An image element knows its upright size before it decodes its pixels, and drawn once at
      // a smaller size it decodes no larger where it can (Chromium scales a JPEG down as it
      // decodes it; createImageBitmap's resizing decodes it whole first).
      var element = keepShorter ? viaElement().catch(function() { return null; })
                                : Promise.resolve(null);
      entry.done = element.then(function(img) {
        if (img) {
          if (tooLarge(img.naturalWidth, img.naturalHeight)) return null;
          target = Brumelo.pickedSize(img.naturalWidth, img.naturalHeight, keepShorter);
          if (target[0] < img.naturalWidth) return img;
        }
        return open();
      }).then(function(picture) {
        if (!picture) return;
        var w = picture.width, h = picture.height;
        if (!(w > 0 && h > 0)) throw new Error('no pixels');
        if (!target && tooLarge(w, h)) return;
        target = target || Brumelo.pickedSize(w, h, keepShorter);
        var tw = target[0], th = target[1];
        var canvas = Brumelo.canvas2d(tw, th);
        var ctx = canvas.getContext('2d', Brumelo.readBack);
        ctx.imageSmoothingEnabled = true;
        ctx.imageSmoothingQuality = 'high';
        ctx.drawImage(picture, 0, 0, tw, th);
        if (picture.close) picture.close();
        entry.width = tw;
        entry.height = th;
        entry.rgba = ctx.getImageData(0, 0, tw, th).data;
      }).catch(function(e) {
        entry.error = (kind == 'png' ? 'not a readable PNG picture: ' : 'not a readable JPEG picture: ') +
                      ((e && e.message) || e);
      }).then(function() { Brumelo.pendingDecodes--; });
      return entry.done;
    },

    sameBytes: function(a, b) {
      if (a.length != b.length) return false;
      for (var i = 0; i < a.length; ++i) if (a[i] != b[i]) return false;
      return true;
    },

    // Touches that count as the person's doing let the page start sound, ask for the motion
    // sensor (iOS asks here, and only here) and so on.
    gestureHooks: [],
    gestured: false,
    onGesture: function() {
      Brumelo.gestured = true;
      var hooks = Brumelo.gestureHooks;
      for (var i = 0; i < hooks.length; ++i) hooks[i]();
    },

    // wanted: the program listens; asking: a request is out; stream, source: while live.
    mic: {context: null, analyser: null, samples: null, live: false, wanted: false,
          asking: false, stream: null, source: null},
    touched: false,  // the person touched the page (or pressed a key) at least once

    askMic: function() {
      var mic = Brumelo.mic;
      if (!mic.wanted || mic.live || mic.asking || !mic.context || document.hidden) return;
      mic.asking = true;
      navigator.mediaDevices.getUserMedia({
        audio: {echoCancellation: false, noiseSuppression: false, autoGainControl: false,
                channelCount: 1},
        video: false
      }).then(function(stream) {
        mic.asking = false;
        if (!mic.wanted || !mic.context || document.hidden) {
          stream.getTracks().forEach(function(t) { t.stop(); });
          return;
        }
        if (!mic.analyser) {
          mic.analyser = mic.context.createAnalyser();
          mic.analyser.fftSize = 8192;
          // Some browsers only run nodes that reach the speakers: a silent path keeps it
          // running.
          var silent = mic.context.createGain();
          silent.gain.value = 0;
          mic.analyser.connect(silent);
          silent.connect(mic.context.destination);
          mic.samples = new Float32Array(mic.analyser.fftSize);
        }
        mic.source = mic.context.createMediaStreamSource(stream);
        mic.source.connect(mic.analyser);
        mic.stream = stream;
        mic.live = true;
        var track = stream.getAudioTracks()[0];
        if (track) track.onended = function() {
          if (mic.stream != stream) return;
          Brumelo.releaseMic();
          Brumelo.say('The microphone went away (another app took it?): blowing comes back ' +
                      'at your next touch.');
        };
        err('microphone: ' + (track ? track.label : 'on'));
      }).catch(function(e) {
        mic.asking = false;
        // Refused: not asked again this visit.
        mic.wanted = false;
        Brumelo.say('No microphone (' + (e.name || e) + '): Brumelo runs on without blowing.');
      });
    },

    releaseMic: function() {
      var mic = Brumelo.mic;
      if (mic.source) mic.source.disconnect();
      if (mic.stream) mic.stream.getTracks().forEach(function(t) { t.stop(); });
      mic.source = mic.stream = null;
      mic.live = false;
    },

    // Every AudioContext of the page: the microphone's and OpenAL's.
    audioContexts: function() {
      var all = Brumelo.mic.context ? [Brumelo.mic.context] : [];
      for (var id in AL.contexts) {
        var context = AL.contexts[id] && AL.contexts[id].audioCtx;
        if (context) all.push(context);
      }
      return all;
    },

    // Suspended by the page or by the system (iOS: 'interrupted', a call).
    resumeSound: function() {
      Brumelo.audioContexts().forEach(function(context) {
        if (context.state == 'suspended' || context.state == 'interrupted')
          context.resume().catch(function() {});
      });
    },

    // A hidden page holds no microphone and plays nothing; shown again, it asks again.
    watchLife: function() {
      if (Brumelo.watchingLife) return;
      Brumelo.watchingLife = true;
      document.addEventListener('visibilitychange', function() {
        if (document.hidden) {
          Brumelo.releaseMic();
          Brumelo.audioContexts().forEach(function(context) {
            if (context.state == 'running') context.suspend().catch(function() {});
          });
          return;
        }
        Brumelo.resumeSound();
        if (Brumelo.touched) Brumelo.askMic();
      });
    },

    camera: null,
    watchingCamera: false,

    askCamera: function(cam) {
      if (document.hidden) return;
      cam.state = 0;
      navigator.mediaDevices.getUserMedia({
        video: {facingMode: 'environment', width: {ideal: 640}, height: {ideal: 480}},
        audio: false
      }).then(function(stream) {
        if (Brumelo.camera != cam || !cam.wanted || document.hidden) {
          stream.getTracks().forEach(function(t) { t.stop(); });
          return;
        }
        var video = document.createElement('video');
        video.muted = true;
        video.playsInline = true;
        video.setAttribute('playsinline', '');
        video.srcObject = stream;
        // In the page, if out of sight: some browsers only decode videos that are.
        video.className = 'camera-feed';
        document.body.appendChild(video);
        cam.stream = stream;
        cam.video = video;
        var track = stream.getVideoTracks()[0];
        var settings = track && track.getSettings ? track.getSettings() : {};
        // Only a camera facing the person is shown as a mirror.
        cam.mirror = settings.facingMode == 'user';
        if (track) track.onended = function() {
          if (cam.stream != stream) return;
          Brumelo.releaseCamera(cam);
          cam.state = 2;
          cam.error = 'the camera went away';
        };
        if (video.requestVideoFrameCallback) {
          cam.counted = true;
          var next = function() {
            if (cam.video != video) return;
            cam.frames++;
            video.requestVideoFrameCallback(next);
          };
          video.requestVideoFrameCallback(next);
        }
        video.play().then(function() {
          if (cam.video == video) cam.state = 1;
        }).catch(function(e) {
          cam.state = 2;
          cam.error = 'the camera did not play (' + (e.name || e) + ')';
        });
      }).catch(function(e) {
        if (Brumelo.camera != cam) return;
        cam.state = 2;
        cam.error = e && e.name == 'NotAllowedError' ? 'the camera was not allowed'
                  : e && e.name == 'NotFoundError' ? 'no camera was found'
                  : 'the camera could not be opened (' + ((e && e.name) || e) + ')';
      });
    },

    releaseCamera: function(cam) {
      if (cam.stream) cam.stream.getTracks().forEach(function(t) { t.stop(); });
      if (cam.video) {
        cam.video.srcObject = null;
        cam.video.remove();
      }
      cam.stream = cam.video = null;
      if (cam.state == 1) cam.state = 0;
    },

    picker: {state: 0, path: '', input: null, opened: 0},

    // What the data folder held at the last copy into IndexedDB.
    storedSignature: '',
    storageBusy: false,
    storageWorks: true,

    // The data folder's copy: IndexedDB laid out as Emscripten's IDBFS lays it out (so what
    // earlier visits stored is found), written whole in one transaction or not at all.
    store: {db: null, name: '/data', version: 21, table: 'FILE_DATA', stored: {},
            timeoutMs: 8000},

    // Settles as the promise does, or fails with `what` after the store's time-out.
    within: function(promise, what, onLate) {
      return new Promise(function(resolve, reject) {
        var late = false;
        var timer = setTimeout(function() {
          late = true;
          reject(new Error(what));
        }, Brumelo.store.timeoutMs);
        promise.then(function(value) {
          clearTimeout(timer);
          if (late && onLate) onLate(value);
          resolve(value);
        }, function(e) {
          clearTimeout(timer);
          reject(e);
        });
      });
    },

    // Resolves to the folder's files kept by earlier visits ({name: {contents, timestamp,
    // mode}}); rejects when the browser keeps nothing here.
    openStore: function() {
      var store = Brumelo.store;
      var opened = new Promise(function(resolve, reject) {
        var idb = typeof indexedDB != 'undefined' ? indexedDB : null;
        if (!idb) throw new Error('it offers no IndexedDB');
        var request = idb.open(store.name, store.version);
        request.onupgradeneeded = function() {
          var db = request.result;
          var table = db.objectStoreNames.contains(store.table)
              ? request.transaction.objectStore(store.table) : db.createObjectStore(store.table);
          if (!table.indexNames.contains('timestamp'))
            table.createIndex('timestamp', 'timestamp', {unique: false});
        };
        request.onsuccess = function() { resolve(request.result); };
        request.onerror = function(e) {
          e.preventDefault();
          reject(request.error || new Error('IndexedDB did not open'));
        };
      });
      var waited = 'its storage does not answer';
      return Brumelo.within(opened, waited, function(db) { db.close(); }).then(function(db) {
        var read = new Promise(function(resolve, reject) {
          var files = {};
          var transaction = db.transaction([store.table], 'readonly');
          var cursor = transaction.objectStore(store.table).openCursor();
          cursor.onsuccess = function() {
            var c = cursor.result;
            if (!c) return;
            var key = String(c.key), value = c.value;
            if (key.indexOf(store.name + '/') == 0 && value && value.contents &&
                FS.isFile(value.mode))
              files[key.substring(store.name.length + 1)] = value;
            c.continue();
          };
          transaction.oncomplete = function() { resolve(files); };
          transaction.onabort = function() {
            reject(transaction.error || new Error('reading IndexedDB failed'));
          };
        });
        return Brumelo.within(read, waited).then(function(files) {
          store.db = db;
          db.onversionchange = function() { db.close(); };
          return files;
        }, function(e) {
          db.close();
          throw e;
        });
      });
    },

    // One line for a failed copy: a full store is the usual cause and said plainly.
    notKept: function(e) {
      var full = e && (e.name == 'QuotaExceededError' || /quota/i.test(String(e.message)));
      return full ? 'the browser\'s storage is full' : ((e && (e.message || e.name)) || String(e));
    },

    storedWaiters: [],

    // Resolves once what the data folder holds now has reached IndexedDB (or failed to).
    whenStored: function() {
      if (!Brumelo.storageWorks) return Promise.resolve();
      _brumelo_persist();
      if (!Brumelo.storageBusy) return Promise.resolve();
      return new Promise(function(resolve) { Brumelo.storedWaiters.push(resolve); })
          .then(Brumelo.whenStored);
    },

    dataSignature: function() {
      var parts = [];
      try {
        var names = FS.readdir('/data');
        for (var i = 0; i < names.length; ++i) {
          if (names[i] == '.' || names[i] == '..') continue;
          var st = FS.stat('/data/' + names[i]);
          parts.push(names[i] + ':' + st.size + ':' + st.mtime.getTime());
        }
      } catch (e) {
      }
      return parts.sort().join('|');
    },
  },

  brumelo_decoded_take__deps: ['$Brumelo', 'malloc'],
  brumelo_decoded_take: function(data, size, width, height, alpha, error, errorSize) {
    var bytes = HEAPU8.subarray(data, data + size);
    for (var i = 0; i < Brumelo.decoded.length; ++i) {
      var entry = Brumelo.decoded[i];
      if (!Brumelo.sameBytes(entry.bytes, bytes)) continue;
      if (--entry.count <= 0) Brumelo.decoded.splice(i, 1);
      if (!entry.rgba) {
        stringToUTF8(entry.error || 'the browser could not decode the picture', error, errorSize);
        return 0;
      }
      var out = _malloc(entry.rgba.length);
      if (!out) {
        stringToUTF8('no memory for the picture', error, errorSize);
        return 0;
      }
      HEAPU8.set(entry.rgba, out);
      HEAP32[width >> 2] = entry.width;
      HEAP32[height >> 2] = entry.height;
      HEAP32[alpha >> 2] = entry.alpha ? 1 : 0;
      return out;
    }
    stringToUTF8('', error, errorSize);
    return 0;
  },

  brumelo_decode_file__deps: ['$Brumelo'],
  brumelo_decode_file: function(path, keepShorter) {
    try {
      Brumelo.decode(FS.readFile(UTF8ToString(path)), keepShorter);
    } catch (e) {
    }
  },

  brumelo_decodes_pending__deps: ['$Brumelo'],
  brumelo_decodes_pending: function() { return Brumelo.pendingDecodes; },

  // PNG (jpeg 0) or JPEG (jpeg 1) bytes of straight RGBA pixels; 0 on failure.
  brumelo_encode_image__deps: ['$Brumelo', 'malloc'],
  brumelo_encode_image: function(rgba, width, height, opaque, jpeg, quality, outSize) {
    try {
      var canvas = document.createElement('canvas');
      canvas.width = width;
      canvas.height = height;
      var ctx = canvas.getContext('2d');
      var image = ctx.createImageData(width, height);
      image.data.set(HEAPU8.subarray(rgba, rgba + width * height * 4));
      if (opaque || jpeg) for (var i = 3; i < image.data.length; i += 4) image.data[i] = 255;
      ctx.putImageData(image, 0, 0);
      var url = jpeg ? canvas.toDataURL('image/jpeg', quality) : canvas.toDataURL('image/png');
      var prefix = jpeg ? 'data:image/jpeg;base64,' : 'data:image/png;base64,';
      if (url.indexOf(prefix) != 0) return 0;
      var text = atob(url.substring(prefix.length));
      var out = _malloc(text.length);
      if (!out) return 0;
      for (var j = 0; j < text.length; ++j) HEAPU8[out + j] = text.charCodeAt(j);
      HEAP32[outSize >> 2] = text.length;
      return out;
    } catch (e) {
      err('encoding a picture: ' + e);
      return 0;
    }
  },

  // Canvas 2D surfaces standing in for bitmap contexts.
  brumelo_canvas_create__deps: ['$Brumelo'],
  brumelo_canvas_create: function(width, height) {
    try {
      var canvas = Brumelo.canvas2d(width, height);
      var ctx = canvas.getContext('2d', {willReadFrequently: true});
      if (!ctx) return 0;
      ctx.imageSmoothingEnabled = true;
      ctx.imageSmoothingQuality = 'high';
      var id = Brumelo.nextCanvas++;
      Brumelo.canvases[id] = {canvas: canvas, ctx: ctx};
      return id;
    } catch (e) {
      return 0;
    }
  },

  brumelo_canvas_destroy__deps: ['$Brumelo'],
  brumelo_canvas_destroy: function(id) {
    var c = Brumelo.canvases[id];
    if (!c) return;
    c.canvas.width = c.canvas.height = 0;
    delete Brumelo.canvases[id];
  },

  brumelo_canvas_transform__deps: ['$Brumelo'],
  brumelo_canvas_transform: function(id, a, b, c, d, e, f) {
    Brumelo.canvases[id].ctx.setTransform(a, b, c, d, e, f);
  },

  brumelo_canvas_clear__deps: ['$Brumelo'],
  brumelo_canvas_clear: function(id, x, y, w, h) { Brumelo.canvases[id].ctx.clearRect(x, y, w, h); },

  brumelo_canvas_fill__deps: ['$Brumelo'],
  brumelo_canvas_fill: function(id, x, y, w, h, r, g, b, a) {
    var ctx = Brumelo.canvases[id].ctx;
    ctx.fillStyle = 'rgba(' + Math.round(r * 255) + ',' + Math.round(g * 255) + ',' +
                    Math.round(b * 255) + ',' + a + ')';
    ctx.fillRect(x, y, w, h);
  },

  // Draws straight RGBA pixels into the rectangle, upright with y up (the picture's top row at
  // y + h), through the transform.
  brumelo_canvas_draw__deps: ['$Brumelo'],
  brumelo_canvas_draw: function(id, rgba, width, height, opaque, x, y, w, h) {
    var ctx = Brumelo.canvases[id].ctx;
    // In memory as the canvas it is drawn into: a GPU's one would be read back at every read.
    var source = Brumelo.canvas2d(width, height);
    var sctx = source.getContext('2d', Brumelo.readBack);
    var image = sctx.createImageData(width, height);
    image.data.set(HEAPU8.subarray(rgba, rgba + width * height * 4));
    if (opaque) for (var i = 3; i < image.data.length; i += 4) image.data[i] = 255;
    sctx.putImageData(image, 0, 0);
    ctx.save();
    ctx.translate(x, y + h);
    ctx.scale(w / width, -h / height);
    ctx.drawImage(source, 0, 0);
    ctx.restore();
  },

  brumelo_canvas_read__deps: ['$Brumelo'],
  brumelo_canvas_read: function(id, out) {
    var c = Brumelo.canvases[id];
    var data = c.ctx.getImageData(0, 0, c.canvas.width, c.canvas.height).data;
    HEAPU8.set(data, out);
  },

  // Text laid out in lines of at most `width` pixels, broken at spaces (and within a word too
  // long for a line) and at line feeds.
  $BrumeloText__deps: ['$Brumelo'],
  $BrumeloText: {
    context: null,
    ctx: function() {
      if (!BrumeloText.context) BrumeloText.context = Brumelo.canvas2d(1, 1).getContext('2d');
      return BrumeloText.context;
    },
    font: function(family, size, bold) {
      return (bold ? 'bold ' : '') + size + 'px ' + family;
    },
    lineHeight: function(ctx, size) {
      var m = ctx.measureText('Hg');
      if (m.fontBoundingBoxAscent !== undefined)
        return m.fontBoundingBoxAscent + m.fontBoundingBoxDescent;
      return size * 1.15;
    },
    wrap: function(ctx, text, width) {
      var lines = [];
      var paragraphs = text.split('\n');
      for (var p = 0; p < paragraphs.length; ++p) {
        var words = paragraphs[p].split(' ');
        var line = '';
        for (var i = 0; i < words.length; ++i) {
          var word = words[i];
          var candidate = line ? line + ' ' + word : word;
          if (ctx.measureText(candidate).width <= width || !line && !word) {
            line = candidate;
            continue;
          }
          if (line) lines.push(line);
          line = '';
          // A word longer than a line goes over several.
          while (ctx.measureText(word).width > width && word.length > 1) {
            var n = word.length - 1;
            while (n > 1 && ctx.measureText(word.substring(0, n)).width > width) --n;
            lines.push(word.substring(0, n));
            word = word.substring(n);
          }
          line = word;
        }
        lines.push(line);
      }
      return lines;
    },
  },

  brumelo_text_height__deps: ['$BrumeloText'],
  brumelo_text_height: function(text, family, size, bold, width) {
    var ctx = BrumeloText.ctx();
    ctx.font = BrumeloText.font(UTF8ToString(family), size, bold);
    var lines = BrumeloText.wrap(ctx, UTF8ToString(text), width);
    return lines.length * BrumeloText.lineHeight(ctx, size);
  },

  // One byte of coverage a pixel, rows top first.
  brumelo_text_coverage__deps: ['$Brumelo', '$BrumeloText'],
  brumelo_text_coverage: function(text, width, height, boxWidth, boxHeight, alignment, family,
                                  size, out) {
    var canvas = Brumelo.canvas2d(width, height);
    var ctx = canvas.getContext('2d', Brumelo.readBack);
    ctx.font = BrumeloText.font(UTF8ToString(family) + ', Arial, sans-serif', size, false);
    ctx.fillStyle = 'white';
    ctx.textBaseline = 'top';
    ctx.textAlign = alignment == 1 ? 'center' : alignment == 2 ? 'right' : 'left';
    var x = alignment == 1 ? boxWidth / 2 : alignment == 2 ? boxWidth : 0;
    ctx.beginPath();
    ctx.rect(0, 0, boxWidth, boxHeight);
    ctx.clip();
    var lines = BrumeloText.wrap(ctx, UTF8ToString(text), boxWidth);
    var step = BrumeloText.lineHeight(ctx, size);
    for (var i = 0; i < lines.length; ++i) ctx.fillText(lines[i], x, i * step);
    var data = ctx.getImageData(0, 0, width, height).data;
    for (var p = 0; p < width * height; ++p) HEAPU8[out + p] = data[4 * p + 3];
  },

  // An alert box as the desktop paints it: deep blue glass with a light rim and a sheen, white
  // text with a dark shadow, lit and ringed buttons. geometry: the box and then each button
  // (x, y, width, height in points); labels separated by \x1f. Writes premultiplied RGBA.
  brumelo_alert_paint__deps: ['$Brumelo', '$BrumeloText'],
  brumelo_alert_paint: function(title, message, labels, cancelIndex, geometry, count, scale,
                                highlighted, selected, family, padding, width, height, out) {
    var g = function(i) { return HEAPF64[(geometry >> 3) + i]; };
    var names = UTF8ToString(labels).split('\x1f');
    var fam = UTF8ToString(family);
    var canvas = Brumelo.canvas2d(width, height);
    var ctx = canvas.getContext('2d', Brumelo.readBack);
    var box = {x: g(0), y: g(1), w: g(2), h: g(3)};
    ctx.scale(scale, scale);
    ctx.translate(-box.x, -box.y);
    var rounded = function(x, y, w, h, r) {
      r = Math.min(r, w / 2, h / 2);
      ctx.beginPath();
      ctx.arc(x + w - r, y + r, r, -Math.PI / 2, 0);
      ctx.arc(x + w - r, y + h - r, r, 0, Math.PI / 2);
      ctx.arc(x + r, y + h - r, r, Math.PI / 2, Math.PI);
      ctx.arc(x + r, y + r, r, Math.PI, 3 * Math.PI / 2);
      ctx.closePath();
    };
    var rgba = function(c) {
      return 'rgba(' + Math.round(c[0] * 255) + ',' + Math.round(c[1] * 255) + ',' +
             Math.round(c[2] * 255) + ',' + c[3] + ')';
    };
    var fillAndStroke = function(y, h, top, bottom, line, lineWidth) {
      var gradient = ctx.createLinearGradient(0, y, 0, y + h);
      gradient.addColorStop(0, rgba(top));
      gradient.addColorStop(1, rgba(bottom));
      ctx.fillStyle = gradient;
      ctx.fill();
      ctx.strokeStyle = rgba(line);
      ctx.lineWidth = lineWidth;
      ctx.stroke();
    };
    var text = function(lines, size, x, y, w, lineHeight) {
      ctx.textBaseline = 'top';
      ctx.textAlign = 'center';
      for (var pass = 0; pass < 2; ++pass) {
        ctx.fillStyle = pass == 0 ? 'rgba(0,0,0,0.5)' : 'white';
        for (var i = 0; i < lines.length; ++i)
          ctx.fillText(lines[i], x + w / 2, y + i * lineHeight - (pass == 0 ? 1 : 0));
      }
    };

    var inner = {x: box.x + 1.5, y: box.y + 1.5, w: box.w - 3, h: box.h - 3};
    rounded(inner.x, inner.y, inner.w, inner.h, 10);
    fillAndStroke(inner.y, inner.h, [0.16, 0.24, 0.45, 0.9], [0.04, 0.09, 0.25, 0.9],
                  [0.9, 0.92, 1.0, 0.9], 2);
    ctx.save();
    rounded(inner.x, inner.y, inner.w, inner.h, 10);
    ctx.clip();
    ctx.beginPath();
    ctx.ellipse(inner.x + inner.w / 2, inner.y - 10, inner.w * 0.75, 38, 0, 0, 2 * Math.PI);
    ctx.fillStyle = 'rgba(255,255,255,0.14)';
    ctx.fill();
    ctx.restore();

    var textWidth = box.w - 2 * padding;
    var y = box.y + padding;
    var t = UTF8ToString(title), m = UTF8ToString(message);
    if (t) {
      ctx.font = BrumeloText.font(fam, 18, true);
      var lines = BrumeloText.wrap(ctx, t, textWidth);
      var step = BrumeloText.lineHeight(ctx, 18);
      text(lines, 18, box.x + padding, y, textWidth, step);
      y += lines.length * step + 8;
    }
    if (m) {
      ctx.font = BrumeloText.font(fam, 15, false);
      text(BrumeloText.wrap(ctx, m, textWidth), 15, box.x + padding, y, textWidth,
           BrumeloText.lineHeight(ctx, 15));
    }

    for (var b = 0; b < count && b < names.length; ++b) {
      var r = {x: g(4 + 4 * b), y: g(5 + 4 * b), w: g(6 + 4 * b), h: g(7 + 4 * b)};
      var cancel = b == cancelIndex, lit = b == highlighted;
      rounded(r.x, r.y, r.w, r.h, 7);
      fillAndStroke(r.y, r.h,
                    lit ? [0.45, 0.62, 0.95, 0.95] : cancel ? [0.35, 0.38, 0.48, 0.85] : [0.55, 0.60, 0.75, 0.6],
                    lit ? [0.20, 0.38, 0.80, 0.95] : cancel ? [0.12, 0.14, 0.22, 0.85] : [0.18, 0.24, 0.42, 0.6],
                    [0.05, 0.08, 0.2, 0.8], 1);
      if (b == selected) {
        rounded(r.x - 2, r.y - 2, r.w + 4, r.h + 4, 9);
        ctx.strokeStyle = 'rgba(255,230,115,1)';
        ctx.lineWidth = 2;
        ctx.stroke();
      }
      ctx.font = BrumeloText.font(fam, 17, true);
      var label = names[b];
      var room = r.w - 8;
      if (ctx.measureText(label).width > room) {
        while (label.length > 0 && ctx.measureText(label + '\u2026').width > room)
          label = label.substring(0, label.length - 1);
        label += '\u2026';
      }
      var lh = BrumeloText.lineHeight(ctx, 17);
      text([label], 17, r.x + 4, r.y + (r.h - lh) / 2, room, lh);
    }

    var data = ctx.getImageData(0, 0, width, height).data;
    for (var p = 0; p < data.length; p += 4) {
      var a = data[p + 3];
      HEAPU8[out + p] = Math.round(data[p] * a / 255);
      HEAPU8[out + p + 1] = Math.round(data[p + 1] * a / 255);
      HEAPU8[out + p + 2] = Math.round(data[p + 2] * a / 255);
      HEAPU8[out + p + 3] = a;
    }
  },

  // The microphone: an analyser on the capture stream. Answers the capture rate, 0 without Web
  // Audio.
  brumelo_mic_open__deps: ['$Brumelo'],
  brumelo_mic_open: function() {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return 0;
    try {
      Brumelo.mic.context = new Context();
    } catch (e) {
      return 0;
    }
    Brumelo.watchLife();
    return Brumelo.mic.context.sampleRate;
  },

  // The microphone is asked for at the first touch (a prompt at load would swallow it), and
  // again after it was released while hidden or taken by the system (a call).
  brumelo_mic_start__deps: ['$Brumelo'],
  brumelo_mic_start: function() {
    var mic = Brumelo.mic;
    if (!mic.context) return 0;
    if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia) {
      Brumelo.say('No microphone: browsers offer it only to pages on HTTPS or localhost. ' +
                  'Brumelo runs on without blowing.');
      return 0;
    }
    mic.wanted = true;
    if (Brumelo.touched) Brumelo.askMic();
    return 1;
  },

  // The latest `count` samples as 16-bit; silence while the microphone is not live.
  brumelo_mic_read__deps: ['$Brumelo'],
  brumelo_mic_read: function(out, count) {
    var mic = Brumelo.mic;
    var base = out >> 1;
    if (!mic.live || !mic.analyser || mic.context.state != 'running') {
      HEAP16.fill(0, base, base + count);
      return;
    }
    var samples = mic.samples;
    mic.analyser.getFloatTimeDomainData(samples);
    var from = samples.length - Math.min(count, samples.length);
    for (var i = 0; i < count; ++i) {
      var s = from + i < samples.length ? samples[from + i] : 0;
      HEAP16[base + i] = Math.max(-32768, Math.min(32767, Math.round(s * 32768)));
    }
  },

  brumelo_mic_stop__deps: ['$Brumelo'],
  brumelo_mic_stop: function() {
    var mic = Brumelo.mic;
    mic.wanted = false;
    Brumelo.releaseMic();
    if (mic.context) mic.context.close();
    mic.context = null;
  },

  // The live camera: a hidden video element on the camera's stream, asked for only when the
  // person asks for the camera. State: 0 waiting (permission, first picture), 1 on, 2 failed.
  brumelo_camera_start__deps: ['$Brumelo'],
  brumelo_camera_start: function() {
    var cam = Brumelo.camera = {state: 0, error: '', stream: null, video: null, frames: 0,
                                taken: -1, mirror: false, wanted: true};
    if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia) {
      cam.state = 2;
      cam.error = 'browsers offer the camera only to pages on HTTPS or localhost';
      return;
    }
    Brumelo.askCamera(cam);
    if (!Brumelo.watchingCamera) {
      Brumelo.watchingCamera = true;
      // Hidden, the page lets the camera go; shown again, it takes it back (no new prompt).
      document.addEventListener('visibilitychange', function() {
        var c = Brumelo.camera;
        if (!c || !c.wanted || c.state == 2) return;
        if (document.hidden) Brumelo.releaseCamera(c);
        else if (!c.stream) Brumelo.askCamera(c);
      });
    }
  },

  brumelo_camera_stop__deps: ['$Brumelo'],
  brumelo_camera_stop: function() {
    var cam = Brumelo.camera;
    if (!cam) return;
    cam.wanted = false;
    Brumelo.releaseCamera(cam);
    Brumelo.camera = null;
  },

  brumelo_camera_state__deps: ['$Brumelo'],
  brumelo_camera_state: function() { return Brumelo.camera ? Brumelo.camera.state : 2; },

  brumelo_camera_error__deps: ['$Brumelo'],
  brumelo_camera_error: function(out, size) {
    stringToUTF8(Brumelo.camera ? Brumelo.camera.error : 'the camera is off', out, size);
  },

  // The size of a frame not uploaded yet, as width * 65536 + height; 0 without one.
  brumelo_camera_new_frame__deps: ['$Brumelo'],
  brumelo_camera_new_frame: function() {
    var cam = Brumelo.camera;
    if (!cam || cam.state != 1 || !cam.video || cam.video.readyState < 2) return 0;
    var w = cam.video.videoWidth, h = cam.video.videoHeight;
    if (!w || !h || w > 4096 || h > 4096) return 0;
    // Without frame callbacks every animation frame counts as a new picture.
    if (cam.counted && cam.frames == cam.taken) return 0;
    return w * 65536 + h;
  },

  // The newest frame into the GL texture at its origin, the texture binding left as it was.
  brumelo_camera_upload__deps: ['$Brumelo', '$GL'],
  brumelo_camera_upload: function(texture) {
    var cam = Brumelo.camera;
    if (!cam || !cam.video || !GL.textures[texture]) return 0;
    var gl = GLctx;
    var source = cam.video;
    if (cam.mirror) {
      var w = source.videoWidth, h = source.videoHeight;
      if (!cam.canvas || cam.canvas.width != w || cam.canvas.height != h)
        cam.canvas = Brumelo.canvas2d(w, h);
      var ctx = cam.canvas.getContext('2d');
      ctx.setTransform(-1, 0, 0, 1, w, 0);
      ctx.drawImage(source, 0, 0);
      source = cam.canvas;
    }
    var previous = gl.getParameter(gl.TEXTURE_BINDING_2D);
    gl.bindTexture(gl.TEXTURE_2D, GL.textures[texture]);
    try {
      gl.texSubImage2D(gl.TEXTURE_2D, 0, 0, 0, gl.RGBA, gl.UNSIGNED_BYTE, source);
    } catch (e) {
      gl.bindTexture(gl.TEXTURE_2D, previous);
      return 0;
    }
    gl.bindTexture(gl.TEXTURE_2D, previous);
    cam.taken = cam.frames;
    return 1;
  },

  // Sound and motion wait for a touch: the OpenAL output resumes then, and iOS asks for motion.
  brumelo_install_gesture_hooks__deps: ['$Brumelo', '$AL'],
  brumelo_install_gesture_hooks: function() {
    Brumelo.watchLife();
    Brumelo.gestureHooks.push(function() {
      Brumelo.touched = true;
      Brumelo.resumeSound();
      Brumelo.askMic();
    });
    if (typeof DeviceMotionEvent != 'undefined' &&
        typeof DeviceMotionEvent.requestPermission == 'function') {
      var asked = false;
      Brumelo.gestureHooks.push(function() {
        if (asked) return;
        asked = true;
        DeviceMotionEvent.requestPermission().then(function(answer) {
          if (answer != 'granted')
            Brumelo.say('Motion access refused: the drops fall straight down. Allow "Motion & ' +
                        'Orientation Access" for this site in the settings to tilt them.');
        }).catch(function(e) {
          Brumelo.say('Motion access could not be asked for (' + (e.name || e) + ').');
        });
      });
    }
    if (!window.isSecureContext)
      Brumelo.say('This page is not on HTTPS or localhost: the browser offers no microphone ' +
                  'and no motion sensor to it.');
    var events = ['touchend', 'mouseup', 'keydown', 'pointerup'];
    for (var i = 0; i < events.length; ++i)
      window.addEventListener(events[i], Brumelo.onGesture, true);
  },

  // A number from the page's address (0 when absent): how a test asks for a run of its kind.
  brumelo_page_number: function(name) {
    var value = new URLSearchParams(location.search).get(UTF8ToString(name));
    var n = value === null ? 0 : Number(value);
    return isFinite(n) ? n : 0;
  },

  brumelo_page_has: function(name) {
    return new URLSearchParams(location.search).has(UTF8ToString(name)) ? 1 : 0;
  },

  brumelo_is_ipod: function() { return /iPod/.test(navigator.userAgent) ? 1 : 0; },

  // The screen's turn from the device's natural orientation, degrees counter-clockwise.
  brumelo_screen_angle: function() {
    if (screen.orientation && typeof screen.orientation.angle == 'number')
      return screen.orientation.angle;
    if (typeof window.orientation == 'number') return window.orientation;
    return 0;
  },

  // Every browser on iOS is WebKit, and reports motion with CoreMotion's sign; an iPad may
  // call itself a Mac, told apart by its touch points.
  brumelo_motion_sign: function() {
    var ua = navigator.userAgent;
    var ios = /iPhone|iPad|iPod/.test(ua) || (/Macintosh/.test(ua) && navigator.maxTouchPoints > 1);
    return ios ? -1 : 1;
  },

  brumelo_canvas_origin: function(x, y) {
    var rect = Module['canvas'].getBoundingClientRect();
    HEAPF64[x >> 3] = rect.left;
    HEAPF64[y >> 3] = rect.top;
  },

  brumelo_toggle_fullscreen: function() {
    var d = document;
    if (d.fullscreenElement || d.webkitFullscreenElement) {
      (d.exitFullscreen || d.webkitExitFullscreen).call(d);
      return;
    }
    var e = d.documentElement;
    var request = e.requestFullscreen || e.webkitRequestFullscreen;
    if (request) request.call(e).catch(function() {});
  },

  brumelo_say__deps: ['$Brumelo'],
  brumelo_say: function(text) { Brumelo.say(UTF8ToString(text)); },
  // What stops the toy from starting stays on screen.
  brumelo_fail__deps: ['$Brumelo'],
  brumelo_fail: function(text) {
    if (window.brumeloFail) window.brumeloFail(UTF8ToString(text));
    else Brumelo.say(UTF8ToString(text));
  },

  // The file picker: a file input accepting pictures (on phones: the camera or the photo
  // library). The chosen file lands in /picked, decoded, before the program hears of it.
  brumelo_picker_open__deps: ['$Brumelo', '$FS'],
  brumelo_picker_open: function(keepShorter) {
    var picker = Brumelo.picker;
    if (!picker.input) {
      picker.input = document.createElement('input');
      picker.input.type = 'file';
      picker.input.accept = 'image/*';
      picker.input.style.display = 'none';
      document.body.appendChild(picker.input);
    }
    var input = picker.input;
    var opened = ++picker.opened;
    picker.state = 1;
    input.value = '';
    input.onchange = function() {
      var file = input.files && input.files[0];
      if (opened != picker.opened) return;
      if (!file) { picker.state = 3; return; }
      if (file.size > 256 * 1024 * 1024) {
        Brumelo.say('"' + file.name + '" is too large to use as a background.');
        picker.state = 3;
        return;
      }
      file.arrayBuffer().then(function(buffer) {
        var bytes = new Uint8Array(buffer);
        var name = file.name.replace(/[^A-Za-z0-9._ -]/g, '_') || 'picture';
        try { FS.mkdir('/picked'); } catch (e) {}
        var old = FS.readdir('/picked');
        for (var i = 0; i < old.length; ++i)
          if (old[i] != '.' && old[i] != '..') FS.unlink('/picked/' + old[i]);
        var path = '/picked/' + name;
        FS.writeFile(path, bytes);
        return Brumelo.decode(bytes, keepShorter).then(function() {
          if (opened != picker.opened) return;
          picker.path = path;
          picker.state = 2;
        });
      }).catch(function(e) {
        Brumelo.say('The picture could not be read (' + (e.name || e) + ').');
        if (opened == picker.opened) picker.state = 3;
      });
    };
    input.oncancel = function() { if (opened == picker.opened) picker.state = 3; };
    input.click();
  },

  // 0 nothing asked, 1 open, 2 a file chosen (its path in out), 3 cancelled. Answers 2 and 3
  // once.
  brumelo_picker_poll__deps: ['$Brumelo'],
  brumelo_picker_poll: function(out, size) {
    var picker = Brumelo.picker;
    var state = picker.state;
    if (state == 2) stringToUTF8(picker.path, out, size);
    if (state >= 2) picker.state = 0;
    return state;
  },

  brumelo_picker_close__deps: ['$Brumelo'],
  brumelo_picker_close: function() {
    Brumelo.picker.opened++;
    Brumelo.picker.state = 0;
  },

  // Offers bytes to the person: the share sheet on touch devices that can share files (where
  // "Save Image" puts it in the photo library), else a download. Needs a touch or click just
  // before. 1 when offered, else 0 with the reason in error.
  brumelo_offer_file: function(data, size, name, mime, error, errorSize) {
    var fileName = UTF8ToString(name), type = UTF8ToString(mime);
    // A tap while the page loaded counts for nothing: the program asked for nothing then.
    var active = Brumelo.gestured &&
                 (!navigator.userActivation || navigator.userActivation.isActive);
    if (!active) {
      stringToUTF8('the browser offers files only right after a tap or click', error, errorSize);
      return 0;
    }
    var bytes = new Uint8Array(HEAPU8.subarray(data, data + size));
    var blob = new Blob([bytes], {type: type});
    var download = function() {
      var url = URL.createObjectURL(blob);
      var a = document.createElement('a');
      a.href = url;
      a.download = fileName;
      document.body.appendChild(a);
      a.click();
      document.body.removeChild(a);
      setTimeout(function() { URL.revokeObjectURL(url); }, 60000);
    };
    try {
      var coarse = window.matchMedia && window.matchMedia('(pointer: coarse)').matches;
      if (coarse && typeof File == 'function' && navigator.canShare) {
        var file = new File([blob], fileName, {type: type});
        if (navigator.canShare({files: [file]})) {
          navigator.share({files: [file], title: 'Brumelo'}).catch(function(e) {
            if (e && e.name == 'AbortError') return;
            download();
          });
          return 1;
        }
      }
      download();
      return 1;
    } catch (e) {
      stringToUTF8(String(e), error, errorSize);
      return 0;
    }
  },

  brumelo_open_url: function(url) {
    try {
      var a = document.createElement('a');
      a.href = UTF8ToString(url);
      document.body.appendChild(a);
      a.click();
      document.body.removeChild(a);
      return 1;
    } catch (e) {
      err('open URL: ' + e);
      return 0;
    }
  },

  // Copies the data folder into IndexedDB when it changed since the last copy: what changed
  // and what went, in one transaction, so a next visit finds the old copy or the new one. A
  // failure (or no answer) is said on the page and to the program, once per change.
  brumelo_persist__deps: ['$Brumelo', '$FS'],
  brumelo_persist: function() {
    var store = Brumelo.store;
    if (Brumelo.storageBusy || !Brumelo.storageWorks || !store.db) return;
    var signature = Brumelo.dataSignature();
    if (signature == Brumelo.storedSignature) return;
    Brumelo.storageBusy = true;
    var now = {}, transaction = null, timer = 0, done = false;
    var finish = function(e) {
      if (done) return;
      done = true;
      clearTimeout(timer);
      Brumelo.storageBusy = false;
      Brumelo.storedSignature = signature;
      if (!e) store.stored = now;
      var waiting = Brumelo.storedWaiters;
      Brumelo.storedWaiters = [];
      waiting.forEach(function(resolve) { resolve(); });
      if (!e) return;
      var why = Brumelo.notKept(e);
      Brumelo.say('Not kept: ' + why);
      Module['ccall']('brumelo_storage_failed', null, ['string'], [why]);
    };
    try {
      transaction = store.db.transaction([store.table], 'readwrite');
      var table = transaction.objectStore(store.table);
      FS.readdir('/data').forEach(function(name) {
        var path = '/data/' + name;
        if (name == '.' || name == '..') return;
        var st = FS.stat(path);
        if (!FS.isFile(st.mode)) return;
        now[name] = st.mtime.getTime() + ':' + st.size;
        if (store.stored[name] == now[name]) return;
        table.put({timestamp: st.mtime, mode: st.mode, contents: FS.readFile(path)}, path);
      });
      Object.keys(store.stored).forEach(function(name) {
        if (!(name in now)) table.delete('/data/' + name);
      });
      transaction.oncomplete = function() { finish(null); };
      transaction.onabort = function() {
        finish(transaction.error || new Error('the browser did not store it'));
      };
      timer = setTimeout(function() {
        try { transaction.abort(); } catch (e) {}
        finish(new Error('the browser\'s storage does not answer'));
      }, store.timeoutMs);
    } catch (e) {
      if (transaction) try { transaction.abort(); } catch (ignored) {}
      finish(e);
    }
  },

  brumelo_storage_works__deps: ['$Brumelo'],
  brumelo_storage_works: function() { return Brumelo.storageWorks ? 1 : 0; },

  brumelo_gl_renew_names__deps: ['$GL'],
  brumelo_gl_renew_names: function() {
    var renew = function(table, make) {
      for (var i = 1; i < table.length; ++i) {
        if (!table[i]) continue;
        var object = GLctx[make]();
        object.name = i;
        table[i] = object;
      }
    };
    renew(GL.textures, 'createTexture');
    renew(GL.framebuffers, 'createFramebuffer');
    renew(GL.renderbuffers, 'createRenderbuffer');
    renew(GL.buffers, 'createBuffer');
  },

  brumelo_on_page_hide: function(callback, data) {
    window.addEventListener('pagehide', function() {
      {{{ makeDynCall('vi', 'callback') }}}(data);
    });
  },

  // The page hears how the run goes: the first frame shown, the end of a scripted run.
  brumelo_frame_shown: function(frame) {
    if (Module['onFrameShown']) Module['onFrameShown'](frame);
  },

  brumelo_run_finished: function(frames, status) {
    if (Module['onRunFinished']) Module['onRunFinished'](frames, UTF8ToString(status));
  },
};

autoAddDeps(LibraryBrumelo, '$Brumelo');
mergeInto(LibraryManager.library, LibraryBrumelo);
