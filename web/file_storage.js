// Linked into quillorn.js after Emscripten's own code (--post-js), inside
// the module. The in-memory file system grows a file being written by an
// eighth of its size once past a megabyte, copying all of it each time:
// some thirty copies of a 50 MB bitmap, more time than the tool takes to
// write it. Past a megabyte a file here lives in a resizable buffer, which
// grows where it is: no copy and no fresh array to clear, and its pages are
// only taken as they are written. Where the browser has no resizable
// buffers (or will not reserve one), the file doubles, copying each byte
// about once, and takes at most twice its size while it is written.
var kGrowInPlaceFrom = 1 << 20;
// What a file may grow to: the most a 32-bit module's writes can address.
var kMostFileBytes = 4 * 1024 * 1024 * 1024;
var kResizable = typeof ArrayBuffer.prototype.resize === 'function';

// The file's buffer grown in place to at least needed bytes, if it is a
// resizable one that can hold them; false otherwise.
function growInPlace(node, needed, wanted) {
  var old = node.contents;
  var buffer = old && old.buffer;
  if (!buffer || !buffer.resizable || old.byteOffset !== 0 || needed > buffer.maxByteLength) return false;
  try {
    buffer.resize(Math.min(wanted, buffer.maxByteLength));
  } catch (refused) {
    return false;
  }
  node.contents = new Uint8Array(buffer, 0, buffer.byteLength);
  return true;
}

// A resizable buffer of capacity bytes (or null where none is had), the
// file's used bytes copied in.
function resizableCopy(node, capacity) {
  if (!kResizable || capacity < kGrowInPlaceFrom) return null;
  var buffer;
  try {
    buffer = new ArrayBuffer(capacity, { maxByteLength: Math.max(capacity, kMostFileBytes) });
  } catch (refused) {
    return null;
  }
  var contents = new Uint8Array(buffer, 0, capacity);
  if (node.usedBytes > 0) contents.set(node.contents.subarray(0, node.usedBytes), 0);
  return contents;
}

MEMFS.expandFileStorage = function (node, needed) {
  needed >>>= 0;
  var capacity = node.contents ? node.contents.length : 0;
  if (capacity >= needed) return;
  var grown = Math.max(needed, capacity * 2, 256);
  if (growInPlace(node, needed, grown)) return;
  var moved = resizableCopy(node, grown);
  if (moved) {
    node.contents = moved;
    return;
  }
  var old = node.contents;
  node.contents = new Uint8Array(grown >>> 0);
  if (node.usedBytes > 0) node.contents.set(old.subarray(0, node.usedBytes), 0);
};

// A file's bytes as the file system holds them, its used part and not a
// copy, for the page once the run is over: a file grown in place moves to
// a fixed buffer of its length (which blobs and messages take), without a
// copy where the browser can.
Module['fileBytes'] = function (path) {
  var node = FS.lookupPath(path).node;
  var contents = node.contents;
  if (!contents || !contents.subarray) return FS.readFile(path);
  var buffer = contents.buffer;
  if (buffer.resizable) {
    var fixed = buffer.transferToFixedLength
      ? buffer.transferToFixedLength(node.usedBytes) : buffer.slice(0, node.usedBytes);
    node.contents = new Uint8Array(fixed);
    return node.contents;
  }
  return contents.subarray(0, node.usedBytes);
};
