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

function playDownloadEndSound() {
  var sound = document.getElementById('downloadEndSound');
  if (sound && sound.play)
    sound.play();
}

window.addEventListener('load', function() {
  document.getElementById('mainbutton').addEventListener('click', function() { sendBinding('Binding:Main'); });
  document.getElementById('altbutton').addEventListener('click', function() { sendBinding('Binding:Cancel'); });
});
