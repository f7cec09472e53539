// The page side of the launcher: the launcher sets the texts and the button
// states; the buttons send "Binding" requests back.
function setButtonState(id, enabled) {
  document.getElementById(id).disabled = enabled !== 'true';
}
function setMainButtonState(enabled) { setButtonState('mainbutton', enabled); }
function setAltButtonState(enabled) { setButtonState('altbutton', enabled); }

function sendBinding(request) {
  if (typeof cefQuery === 'function')
    cefQuery({ request: request, onSuccess: function() {}, onFailure: function() {} });
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
  document.getElementById('mainbutton').addEventListener('click', function() { sendBinding('Binding:Main'); });
  document.getElementById('altbutton').addEventListener('click', function() { sendBinding('Binding:Cancel'); });
});
