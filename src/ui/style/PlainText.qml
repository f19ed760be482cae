import QtQuick

// Every text of the screens. Names, titles and words from a provider or the device service
// are shown as the characters they are: never read as markup, never fetching an image.
Text {
    textFormat: Text.PlainText
}
