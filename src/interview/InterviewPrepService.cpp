#include "interview/InterviewPrepService.h"

#include "core/Text.h"
#include "core/VelmoraError.h"

#include <algorithm>
#include <map>
#include <set>

namespace velmora {

namespace {

struct QuestionBank {
    // Rows 1 and 2 wrap the job title: prefix + title + suffix.
    const char* row1Prefix;
    const char* row1Suffix;
    const char* row2Prefix;
    const char* row2Suffix;
    std::vector<const char*> rows; // rows 3 to 12
};

struct LocalisedTexts {
    const char* lang;
    const char* first;
    const char* second;
    const char* third = "";
};

const QuestionBank kBank_en = {
    "What experience best prepares you for the ", " role?",
    "Why are you interested in this ", " position?",
    {
        "Which recent accomplishment best demonstrates that you can succeed in this role?",
        "Tell me about a time you solved a complex problem related to your work.",
        "Describe a time you had to learn a new skill quickly.",
        "How do you prioritize when several important tasks compete for your attention?",
        "Tell me about a disagreement with a coworker or stakeholder and how you handled it.",
        "Describe a decision you made with incomplete information.",
        "How do you measure whether your work is having the intended impact?",
        "How do you communicate progress, risks, and blockers on a distributed team?",
        "Which part of this job description would be most challenging for you, and how would you approach it?",
        "What questions would you ask during your first few weeks to understand the role’s priorities?",
    },
};
const QuestionBank kBank_es = {
    "¿Qué experiencia te prepara mejor para el puesto de ", "?",
    "¿Por qué te interesa este puesto de ", "?",
    {
        "¿Qué logro reciente demuestra mejor tu capacidad para tener éxito en este puesto?",
        "Cuéntame sobre una situación en la que resolviste un problema complejo relacionado con tu trabajo.",
        "Describe una ocasión en la que tuviste que aprender una habilidad nueva rápidamente.",
        "¿Cómo priorizas cuando varias tareas importantes compiten por tu atención?",
        "Cuéntame sobre un desacuerdo con un compañero o parte interesada y cómo lo resolviste.",
        "Describe una decisión que tomaste con información incompleta.",
        "¿Cómo mides si tu trabajo está teniendo el impacto esperado?",
        "¿Cómo comunicas avances, riesgos y bloqueos a un equipo distribuido?",
        "¿Qué parte de esta descripción del puesto crees que sería más desafiante y cómo la abordarías?",
        "¿Qué preguntas harías durante tus primeras semanas para entender las prioridades del puesto?",
    },
};
const QuestionBank kBank_fr = {
    "Quelle expérience vous prépare le mieux au poste de ", " ?",
    "Pourquoi ce poste de ", " vous intéresse-t-il ?",
    {
        "Quelle réalisation récente démontre le mieux votre capacité à réussir dans ce poste ?",
        "Parlez-moi d’une situation où vous avez résolu un problème complexe lié à votre travail.",
        "Décrivez une situation où vous avez dû apprendre rapidement une nouvelle compétence.",
        "Comment établissez-vous vos priorités lorsque plusieurs tâches importantes se concurrencent ?",
        "Parlez-moi d’un désaccord avec un collègue ou une partie prenante et de la façon dont vous l’avez géré.",
        "Décrivez une décision prise avec des informations incomplètes.",
        "Comment mesurez-vous l’impact de votre travail ?",
        "Comment communiquez-vous les progrès, risques et blocages à une équipe distribuée ?",
        "Quelle partie de cette description de poste vous semblerait la plus difficile et comment l’aborderiez-vous ?",
        "Quelles questions poseriez-vous pendant vos premières semaines pour comprendre les priorités du poste ?",
    },
};
const QuestionBank kBank_de = {
    "Welche Erfahrung bereitet Sie am besten auf die Position ", " vor?",
    "Warum interessiert Sie die Position ", "?",
    {
        "Welche aktuelle Leistung zeigt am besten, dass Sie in dieser Rolle erfolgreich sein können?",
        "Erzählen Sie von einer Situation, in der Sie ein komplexes arbeitsbezogenes Problem gelöst haben.",
        "Beschreiben Sie eine Situation, in der Sie sehr schnell eine neue Fähigkeit erlernen mussten.",
        "Wie priorisieren Sie, wenn mehrere wichtige Aufgaben gleichzeitig Aufmerksamkeit verlangen?",
        "Erzählen Sie von einer Meinungsverschiedenheit mit einem Kollegen oder Stakeholder und wie Sie damit umgegangen sind.",
        "Beschreiben Sie eine Entscheidung, die Sie mit unvollständigen Informationen treffen mussten.",
        "Wie messen Sie, ob Ihre Arbeit die gewünschte Wirkung erzielt?",
        "Wie kommunizieren Sie Fortschritt, Risiken und Blockaden in einem verteilten Team?",
        "Welcher Teil dieser Stellenbeschreibung wäre für Sie am anspruchsvollsten und wie würden Sie ihn angehen?",
        "Welche Fragen würden Sie in den ersten Wochen stellen, um die Prioritäten der Rolle zu verstehen?",
    },
};
const QuestionBank kBank_it = {
    "Quale esperienza ti prepara meglio per il ruolo di ", "?",
    "Perché ti interessa il ruolo di ", "?",
    {
        "Quale risultato recente dimostra meglio che puoi avere successo in questo ruolo?",
        "Raccontami di una situazione in cui hai risolto un problema complesso legato al lavoro.",
        "Descrivi una situazione in cui hai dovuto imparare rapidamente una nuova competenza.",
        "Come stabilisci le priorità quando più attività importanti richiedono attenzione?",
        "Raccontami di un disaccordo con un collega o stakeholder e di come lo hai gestito.",
        "Descrivi una decisione presa con informazioni incomplete.",
        "Come misuri se il tuo lavoro sta producendo l’impatto previsto?",
        "Come comunichi progressi, rischi e blocchi in un team distribuito?",
        "Quale parte di questa descrizione del lavoro sarebbe più impegnativa per te e come la affronteresti?",
        "Quali domande faresti nelle prime settimane per capire le priorità del ruolo?",
    },
};
const QuestionBank kBank_pt = {
    "Qual experiência prepara você melhor para a função de ", "?",
    "Por que você se interessa pela função de ", "?",
    {
        "Qual realização recente demonstra melhor sua capacidade de ter sucesso nesta função?",
        "Conte sobre uma situação em que você resolveu um problema complexo relacionado ao trabalho.",
        "Descreva uma situação em que precisou aprender uma nova habilidade rapidamente.",
        "Como você prioriza quando várias tarefas importantes competem pela sua atenção?",
        "Conte sobre um desacordo com um colega ou stakeholder e como você lidou com ele.",
        "Descreva uma decisão tomada com informações incompletas.",
        "Como você mede se o seu trabalho está gerando o impacto esperado?",
        "Como você comunica progresso, riscos e bloqueios em uma equipe distribuída?",
        "Qual parte desta descrição de vaga seria mais desafiadora para você e como a abordaria?",
        "Que perguntas você faria nas primeiras semanas para entender as prioridades da função?",
    },
};
const LocalisedTexts kNotices[] = {
    {"en", "Questions created with private AI assistance using the job description.", "Private AI was unavailable, so Velmora created role-focused questions locally from the title and description."},
    {"es", "Preguntas creadas con asistencia privada de IA a partir de la descripción del puesto.", "La IA privada no estaba disponible; Velmora creó las preguntas localmente a partir del título y la descripción."},
    {"fr", "Questions créées avec l’assistance IA privée à partir de la description du poste.", "L’IA privée était indisponible ; Velmora a créé les questions localement à partir du titre et de la description."},
    {"de", "Fragen wurden mit privater KI-Unterstützung aus der Stellenbeschreibung erstellt.", "Private KI war nicht verfügbar; Velmora hat die Fragen lokal aus Titel und Beschreibung erstellt."},
    {"it", "Domande create con assistenza IA privata in base alla descrizione del lavoro.", "L’IA privata non era disponibile; Velmora ha creato le domande localmente dal titolo e dalla descrizione."},
    {"pt", "Perguntas criadas com assistência privada de IA a partir da descrição da vaga.", "A IA privada não estava disponível; o Velmora criou as perguntas localmente a partir do cargo e da descrição."},
};
const LocalisedTexts kKeywordTemplates[] = {
    {"en", "The job description mentions ", ". How have you used or worked with ", " in a real situation?"},
    {"es", "La descripción menciona ", ". ¿Cómo has utilizado o trabajado con ", " en una situación real?"},
    {"fr", "La description mentionne ", ". Comment avez-vous utilisé ou travaillé avec ", " dans une situation réelle ?"},
    {"de", "Die Stellenbeschreibung nennt ", ". Wie haben Sie ", " in einer realen Arbeitssituation eingesetzt?"},
    {"it", "La descrizione menziona ", ". Come hai utilizzato o gestito ", " in una situazione reale?"},
    {"pt", "A descrição menciona ", ". Como você usou ou trabalhou com ", " em uma situação real?"},
};
const char* const kStopWords[] = {"about", "after", "also", "and", "are", "been", "being", "company", "from", "have", "into", "job", "other", "remote", "role", "that", "their", "they", "this", "will", "with", "work", "working", "years", "your"};

const QuestionBank& bankFor(const std::string& lang) {
    if (lang == "es") return kBank_es;
    if (lang == "fr") return kBank_fr;
    if (lang == "de") return kBank_de;
    if (lang == "it") return kBank_it;
    if (lang == "pt") return kBank_pt;
    return kBank_en;
}

template <size_t N>
const LocalisedTexts& textsFor(const LocalisedTexts (&table)[N], const std::string& lang) {
    for (const auto& entry : table)
        if (lang == entry.lang) return entry;
    return table[0]; // English
}

std::string trimEnds(const std::string& token, const std::string& chars) {
    size_t begin = token.find_first_not_of(chars);
    if (begin == std::string::npos) return "";
    size_t end = token.find_last_not_of(chars);
    return token.substr(begin, end - begin + 1);
}

} // namespace

InterviewPrepService::InterviewPrepService(std::shared_ptr<DatabaseService> db, std::shared_ptr<ResumeService> ai)
    : db_(std::move(db)), ai_(std::move(ai)) {}

std::string InterviewPrepService::supportedLanguage(const std::string& language) {
    std::string lower = text::lower(language);
    for (const char* code : {"es", "fr", "de", "it", "pt"})
        if (lower == code) return lower;
    return "en";
}

std::string InterviewPrepService::notice(const std::string& lang, bool modelUsed) {
    const LocalisedTexts& t = textsFor(kNotices, lang);
    return modelUsed ? t.first : t.second;
}

std::string InterviewPrepService::keywordQuestion(const std::string& keyword, const std::string& lang) {
    const LocalisedTexts& t = textsFor(kKeywordTemplates, lang);
    return std::string(t.first) + keyword + t.second + keyword + t.third;
}

std::vector<std::string> InterviewPrepService::extractKeywords(const std::string& input, std::size_t max) {
    static const std::unique_ptr<text::Regex> token = [] {
        try {
            return std::make_unique<text::Regex>("\\b[a-z][a-z0-9+#.-]{3,}\\b");
        } catch (const std::exception&) {
            return std::unique_ptr<text::Regex>();
        }
    }();
    if (!token) return {};
    std::map<std::string, size_t> counts;
    for (const auto& m : token->allMatches(text::lower(input))) {
        std::string word = trimEnds(m.str(), ".-#");
        if (word.size() < 4) continue; // tokens are ASCII, so bytes are characters here
        if (std::find(std::begin(kStopWords), std::end(kStopWords), word) != std::end(kStopWords)) continue;
        ++counts[word];
    }
    std::vector<std::pair<std::string, size_t>> ranked(counts.begin(), counts.end());
    // Ties beyond count and length fall back to text order, so the list is reproducible.
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        if (a.second != b.second) return a.second > b.second;
        return a.first.size() > b.first.size();
    });
    std::vector<std::string> out;
    for (size_t i = 0; i < ranked.size() && i < max; ++i) out.push_back(ranked[i].first);
    return out;
}

std::vector<std::string> InterviewPrepService::parseQuestions(const std::string& answer) {
    static const text::Regex marker("^\\s*(?:[-*•]|\\d+[.)])\\s*");
    std::vector<std::string> out;
    for (const auto& raw : text::split(answer, '\n')) {
        std::string line = marker.replaceFirst(text::trim(raw), "");
        if (text::characterCount(line) < 12) continue;
        if (!text::endsWith(line, "?") && !text::endsWith(line, "\uFF1F")) line += "?";
        out.push_back(std::move(line));
    }
    return out;
}

std::vector<std::string> InterviewPrepService::buildFallback(const std::string& title, const std::string& description,
                                                             const std::string& lang) {
    const QuestionBank& bank = bankFor(lang);
    std::vector<std::string> candidates;
    candidates.push_back(bank.row1Prefix + title + bank.row1Suffix);
    candidates.push_back(bank.row2Prefix + title + bank.row2Suffix);
    for (const char* row : bank.rows) candidates.emplace_back(row);
    for (const auto& keyword : extractKeywords(description, 5)) candidates.push_back(keywordQuestion(keyword, lang));

    std::vector<std::string> out;
    std::set<std::string> seen;
    for (auto& question : candidates)
        if (seen.insert(text::lower(question)).second) out.push_back(std::move(question));
    return out;
}

std::string InterviewPrepService::prompt(const std::string& title, const std::string& description,
                                         const std::string& lang) {
    return "You are an expert interview coach. Create exactly 18 realistic interview questions for the job below.\n"
           "Use the job description as the primary source. Mix role-specific, technical/functional, behavioral, "
           "situational, stakeholder, performance, and remote-work questions where appropriate.\n"
           "Do not invent facts about the employer. Do not provide answers. Return one question per line with no "
           "headings or commentary.\n"
           "Write all questions in " +
           ResumeService::languageName(lang) + ".\n\nJOB TITLE:\n" + title + "\n\nJOB DESCRIPTION:\n" +
           text::prefixCharacters(description, 15000);
}

nlohmann::json InterviewPrepService::generateQuestions(const std::string& rawTitle, const std::string& rawDescription,
                                                       const std::string& language) const {
    std::string title = text::trim(rawTitle);
    std::string description = text::trim(rawDescription);
    std::string lang = supportedLanguage(language);
    if (text::characterCount(title) < 2) throw VelmoraError("Enter a job title.");
    if (text::characterCount(description) < 40)
        throw VelmoraError("Paste more of the job description so Velmora can tailor the interview questions.");

    try {
        std::vector<std::string> questions = parseQuestions(ai_->askLocalAi(prompt(title, description, lang)));
        if (questions.size() > 18) questions.resize(18);
        if (questions.size() >= 8)
            return {{"mode", "private_ai"}, {"questions", questions}, {"notice", notice(lang, true)}};
        // Too few usable lines: the bank gives a better list than a short one.
    } catch (const std::exception&) {
        // The model is optional; the user always gets questions.
    }
    std::vector<std::string> questions = buildFallback(title, description, lang);
    if (questions.size() > 18) questions.resize(18);
    return {{"mode", "offline_fallback"}, {"questions", questions}, {"notice", notice(lang, false)}};
}

} // namespace velmora
