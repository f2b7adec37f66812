// Linked into quillorn.js after Emscripten's own code (--post-js), inside
// the module. The in-memory file system grows a file being written by an
// eighth of its size once past a megabyte, copying all of it each time:
// some thirty copies of a 50 MB bitmap, more time than the tool takes to
// write it. Doubling copies each byte about once; the file takes at most
// twice its size while it is written.
MEMFS.expandFileStorage = function (node, needed) {
  needed >>>= 0;
  var capacity = node.contents ? node.contents.length : 0;
  if (capacity >= needed) return;
  var grown = Math.max(needed, capacity * 2, 256) >>> 0;
  var old = node.contents;
  node.contents = new Uint8Array(grown);
  if (node.usedBytes > 0) node.contents.set(old.subarray(0, node.usedBytes), 0);
};
