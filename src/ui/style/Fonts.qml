pragma Singleton
import QtQuick

// Font roles in logical pixels, on the usual desktop scale, and the two bundled typefaces.
QtObject {
    readonly property int headline: 14
    readonly property int title2: 18
    readonly property int title3: 16
    readonly property int body: 14
    readonly property int callout: 13
    readonly property int footnote: 12
    readonly property int caption: 11
    readonly property int caption2: 10

    // The rounded typeface of the wordmark and the icon font, shipped inside the program.
    readonly property string rounded: roundedLoader.name
    readonly property string symbols: symbolLoader.name
    readonly property string monospace: "DejaVu Sans Mono"

    property FontLoader roundedLoader: FontLoader { source: "qrc:/mavu/fonts/Quicksand-Bold.ttf" }
    property FontLoader symbolLoader: FontLoader { source: "qrc:/mavu/fonts/materialdesignicons-webfont.ttf" }
}
