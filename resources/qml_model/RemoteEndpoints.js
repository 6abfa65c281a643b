.pragma library

// The two texts fetched at start-up. Packagers point these at their own
// server; an empty address fetches nothing.
var adText = "https://kalo3d.example.org/app/banner.html"
var notice = "https://kalo3d.example.org/app/notice.html"

// A request still unanswered after this long (ms) is given up.
var timeoutMs = 4000
