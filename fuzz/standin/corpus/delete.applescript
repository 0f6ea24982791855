tell application "Things3"
    delete tag "Home"
end tell