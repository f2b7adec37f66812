// Linked into quillorn.js after Emscripten's own code (--post-js), inside
// the module. The in-memory file system grows a file being written by an
// eighth of its size once past a megabyte, copying all of it each time:
// some thirty copies of a 50 MB bitmap, more time than the tool takes to
// write it. Past a megabyte a file here takes a buffer a finished file
// left behind (recycleFile), whose pages the last run already touched; or
// else lives in a resizable buffer, which grows where it is: no copy and
// no fresh array to clear, and its pages are only taken as they are
// written. Where the browser has no resizable buffers (or will not reserve
// one), the file doubles, copying each byte about once, and takes at most
// twice its size while it is written.
var kGrowInPlaceFrom = 1 << 20;
// What a file may grow to: the most a 32-bit module's writes can address.
var kMostFileBytes = 4 * 1024 * 1024 * 1024;
var kResizable = typeof ArrayBuffer.prototype.resize === 'function';
// The buffers kept for the next files: a conversion leaves at most an
// output and a relief, and the page keeps no more than this for them.
var kMostRecycled = 4;
var kMostRecycledBytes = 768 * 1024 * 1024;
var recycled = [];

// The smallest recycled buffer that holds needed bytes, taken from the
// list and cleared past the used bytes copied in; null if none does.
function recycledCopy(node, needed) {
  var best = -1;
  for (var index = 0; index < recycled.length; index++) {
    var length = recycled[index].byteLength;
    if (length >= needed && (best < 0 || length < recycled[best].byteLength)) best = index;
  }
  if (best < 0) return null;
  var contents = new Uint8Array(recycled.splice(best, 1)[0]);
  var used = node.usedBytes;
  // A write past the end reads back zeros in between, as in a new file.
  contents.fill(0, used);
  if (used > 0) contents.set(node.contents.subarray(0, used), 0);
  return contents;
}

// The bytes of a resizable buffer's view moved to a fixed buffer of their
// length: in place where the browser can, else copied.
function fixedBytes(view) {
  var buffer = view.buffer;
  return new Uint8Array(buffer.transferToFixedLength
    ? buffer.transferToFixedLength(view.byteLength) : buffer.slice(0, view.byteLength));
}

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
  var moved = (needed >= kGrowInPlaceFrom && recycledCopy(node, needed)) || resizableCopy(node, grown);
  if (moved) {
    node.contents = moved;
    return;
  }
  var old = node.contents;
  node.contents = new Uint8Array(grown >>> 0);
  if (node.usedBytes > 0) node.contents.set(old.subarray(0, node.usedBytes), 0);
};

// A file's bytes as the file system holds them, its used part and not a
// copy, for the page once the run is over. A file grown in place moves to
// a fixed buffer of its length (which blobs take), without a copy where the
// browser can; or, asTheyAre, stays in its resizable buffer, which
// messages take as well, for the page to move once it is free.
Module['fileBytes'] = function (path, asTheyAre) {
  var node = FS.lookupPath(path).node;
  var contents = node.contents;
  if (!contents || !contents.subarray) return FS.readFile(path);
  var buffer = contents.buffer;
  if (buffer.resizable && asTheyAre) return new Uint8Array(buffer, 0, node.usedBytes);
  if (buffer.resizable) {
    node.contents = fixedBytes(new Uint8Array(buffer, 0, node.usedBytes));
    return node.contents;
  }
  return contents.subarray(0, node.usedBytes);
};

// Removes a file whose bytes the page has had copied (a blob made of
// them), keeping its buffer for a later file.
Module['recycleFile'] = function (path) {
  var contents = FS.lookupPath(path).node.contents;
  FS.unlink(path);
  if (contents && contents.buffer) Module['recycleBuffer'](contents.buffer);
};

// Keeps a buffer nothing else holds for a later file: a file's that the
// page is done with, or one it made. Those below a megabyte, resizable,
// or handed away (detached, of no bytes) are not kept.
Module['recycleBuffer'] = function (buffer) {
  if (buffer.resizable || buffer.byteLength < kGrowInPlaceFrom) return;
  recycled.push(buffer);
  var total = 0;
  for (var index = 0; index < recycled.length; index++) total += recycled[index].byteLength;
  while (recycled.length > kMostRecycled || total > kMostRecycledBytes) total -= recycled.shift().byteLength;
};

// callMain with the stack as it found it: the command line's words are
// put on the stack, and a module kept from run to run would lose them.
Module['runMain'] = function (args) {
  var top = stackSave();
  try {
    return callMain(args);
  } finally {
    stackRestore(top);
  }
};
