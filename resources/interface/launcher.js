// The page side of the launcher: the launcher sets the texts, the button
// states and the number of the view this page shows; the buttons send
// "Binding" requests back with that number, so that a press counts only for
// the view it was made on.
function setButtonState(id, enabled) {
  document.getElementById(id).disabled = enabled !== 'true';
}
function setMainButtonState(enabled) { setButtonState('mainbutton', enabled); }
function setAltButtonState(enabled) { setButtonState('altbutton', enabled); }

var pageSerial = null;
function setPageSerial(serial) { pageSerial = serial; }

// Until the launcher has said which view this is, a press is not sent.
function sendBinding(button) {
  if (typeof cefQuery !== 'function' || pageSerial === null)
    return;
  cefQuery({ request: 'Binding:' + button + '@' + pageSerial,
             onSuccess: function() {}, onFailure: function() {} });
}

// The chime of the end of the download, "download_end.wav" of the archive,
// played from an audio element made on first use on whatever page is up.
function playDownloadEndSound() {
  var sound = document.getElementById('downloadEndSound');
  if (!sound) {
    sound = document.createElement('audio');
    sound.id = 'downloadEndSound';
    sound.src = 'download_end.wav';
    document.body.appendChild(sound);
  }
  sound.currentTime = 0;
  var playing = sound.play();
  // Without an audio device the play is refused: the page stays silent.
  if (playing && playing.catch)
    playing.catch(function() {});
}

window.addEventListener('load', function() {
  document.getElementById('mainbutton').addEventListener('click', function() { sendBinding('Main'); });
  document.getElementById('altbutton').addEventListener('click', function() { sendBinding('Cancel'); });
});
